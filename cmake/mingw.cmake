# Cross build of a Windows console executable with mingw-w64, for the
# processor that the including toolchain file sets first: i686 for the
# release, x86_64 for the test build that runs under the 64-bit Wine.
#
# The executable links the C++ and GCC runtimes statically, so that it runs
# with nothing beside it but the DLLs that every Windows has
# (cmake/check-win32-exe.cmake lists those it may load). The win32 thread
# model keeps winpthread out of it.
set(CMAKE_SYSTEM_NAME Windows)
set(triplet ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

set(CMAKE_C_COMPILER ${triplet}-gcc-win32)
set(CMAKE_CXX_COMPILER ${triplet}-g++-win32)
set(CMAKE_RC_COMPILER ${triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -s: no debug information (it comes with the static runtime) in the .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -s")
