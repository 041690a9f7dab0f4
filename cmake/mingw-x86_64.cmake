# The 64-bit Windows executable: the same sources, built only to run the
# tests under the 64-bit Wine on machines that run no 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
