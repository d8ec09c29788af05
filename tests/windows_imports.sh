#!/bin/sh
# The Windows program runs from Windows XP on: it loads KERNEL32.dll and
# msvcrt.dll and nothing else, and takes from KERNEL32 only functions that
# XP has. A function new to the program is checked against XP's KERNEL32
# and added to the list below.
#   windows_imports.sh objdump program.exe
set -eu
objdump=$1
program=$2

xp_functions="CloseHandle CreateFileA DeleteCriticalSection EnterCriticalSection
FlushConsoleInputBuffer FreeLibrary GetConsoleCP GetConsoleMode GetConsoleOutputCP
GetLastError GetModuleHandleA GetModuleHandleW GetProcAddress GetStartupInfoA
InitializeCriticalSection IsDBCSLeadByteEx LeaveCriticalSection LoadLibraryA
MultiByteToWideChar ReadConsoleW SetUnhandledExceptionFilter Sleep TlsGetValue
VirtualProtect VirtualQuery WideCharToMultiByte WriteConsoleW __C_specific_handler"

imports=$("$objdump" -p "$program")
dlls=$(printf '%s\n' "$imports" | awk '/DLL Name:/ {print $3}' | sort | tr '\n' ' ')
if [ "$dlls" != "KERNEL32.dll msvcrt.dll " ]; then
    echo "loads $dlls, not only KERNEL32.dll and msvcrt.dll" >&2
    exit 1
fi
status=0
for function in $(printf '%s\n' "$imports" |
    awk '/DLL Name:/ {dll = $3; next} /^[[:space:]]*$/ {dll = ""}
         dll == "KERNEL32.dll" && NF == 3 && $2 ~ /^[0-9]+$/ {print $3}'); do
    case " $(echo $xp_functions) " in
    *" $function "*) ;;
    *) echo "KERNEL32.dll!$function is not on the list of what Windows XP has" >&2; status=1 ;;
    esac
done
exit $status
