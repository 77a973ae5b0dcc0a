# Cross build for the terminal's processor, 32-bit ARM with hard float, with Debian's
# cross compiler (g++-arm-linux-gnueabihf). Programs built this way run here under
# qemu-user (qemu-arm), which CTest uses to run the tests.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# Libraries come from the cross toolchain's tree and from Debian's multiarch packages for
# armhf (e.g. libpng-dev:armhf, in /usr/lib/arm-linux-gnueabihf with headers in /usr/include).
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The C and C++ runtime must be the cross toolchain's, which matches its loader: once
# Debian's own armhf C library is installed (libpng-dev:armhf brings it), the loader's
# default search would find that one first.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/arm-linux-gnueabihf
    -E LD_LIBRARY_PATH=/usr/arm-linux-gnueabihf/lib)
