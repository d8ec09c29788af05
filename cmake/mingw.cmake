# A Windows console program on msvcrt.dll, built with Debian's mingw-w64 (its
# POSIX-threads variant, which the test framework needs) for the processor
# the including toolchain file names, and run under Wine for the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-g++-posix)
set(CMAKE_FIND_ROOT_PATH /usr/${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The C++ and GCC run-times go inside the program: next to it there is only
# what Windows itself has (KERNEL32.dll, msvcrt.dll).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# No time stamp in the programs' headers: the same commit builds the same
# program at any time. (Not in the flags above, which a build folder keeps
# from its first configuration.)
add_link_options(-Wl,--no-insert-timestamp)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;${CMAKE_SYSTEM_PROCESSOR}")
