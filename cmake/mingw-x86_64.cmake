# The same program for 64-bit Windows: Wine's 64-bit loader runs it on any
# x86-64 kernel, also one that cannot run 32-bit programs, so that the
# Windows tests run everywhere. The product is the 32-bit program.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
