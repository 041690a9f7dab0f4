# A static i386 Linux build of the tool: a test vehicle, not a release. It
# runs the shared code where long, size_t and std::streamsize have 32 bits,
# through qemu-i386 on any x86_64 machine, whether or not its kernel runs
# 32-bit programs itself.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static-pie, as the release: qemu-i386 then needs no i386 libraries on the
# machine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-pie")
