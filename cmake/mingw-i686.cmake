# The tool's original target: a 32-bit Windows console program on msvcrt.dll.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
