# Cross build for the terminal's processor, 32-bit ARM with hard float, with Debian's
# cross compiler (g++-arm-linux-gnueabihf). Programs built this way run here under
# qemu-user (qemu-arm), which CTest uses to run the tests.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# Debian's name of this architecture, for the packages.
set(BATTEST_DEBIAN_ARCH armhf)
# Libraries come from the cross toolchain's tree and from Debian's multiarch packages for
# armhf (e.g. libpng-dev:armhf, in /usr/lib/arm-linux-gnueabihf with headers in /usr/include).
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The cross compiler's own C library is the one the programs run with, also where
# Debian's armhf packages (multiarch, in /lib/arm-linux-gnueabihf) are installed beside
# it: a loader of one build with a libc.so of another crashes in threads. So the
# loader looks in the cross compiler's /lib first (/lib under the -L prefix), and finds
# only what that lacks in the multiarch directories.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/arm-linux-gnueabihf -E LD_LIBRARY_PATH=/lib)
