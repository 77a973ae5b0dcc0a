# Cross build for the terminal's processor, 32-bit ARM with hard float, with Debian's
# cross compiler (g++-arm-linux-gnueabihf) against the armhf sysroot that scripts/sysroot
# makes in the cache from Debian's armhf archive (made on first use; BATTEST_SYSROOT in
# the environment names another). Programs built this way run here under qemu-user
# (qemu-arm) on the same sysroot, which CTest uses to run the tests.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# Debian's name of this architecture, and of its library directories, for the packages.
set(BATTEST_DEBIAN_ARCH armhf)
set(BATTEST_DEBIAN_MULTIARCH arm-linux-gnueabihf)

# The sysroot is looked up once per CMake run: the compiler checks read this file again.
if(NOT DEFINED ENV{BATTEST_SYSROOT})
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/sysroot
                  OUTPUT_VARIABLE sysroot OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "No armhf sysroot (scripts/sysroot failed, saying why above)")
  endif()
  set(ENV{BATTEST_SYSROOT} "${sysroot}")
endif()
set(CMAKE_SYSROOT $ENV{BATTEST_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's cross compiler searches its own armhf C and C++ headers and libraries (the
# *-armhf-cross packages under /usr/arm-linux-gnueabihf, whose versions follow the
# host's compiler) before the sysroot's, --sysroot or not. So that one consistent set,
# the sysroot's, is compiled, linked and run with, the standard include directories are
# named in the sysroot (-nostdinc, -nostdinc++, then the C++ library's, GCC's own and the
# C library's headers, in the compiler's order), and the start files, libgcc and
# libstdc++ are looked up there first (-B, -L).
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpversion
                OUTPUT_VARIABLE gcc_major OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX REPLACE "[.].*" "" gcc_major "${gcc_major}")
set(gcc_lib ${CMAKE_SYSROOT}/usr/lib/gcc/${BATTEST_DEBIAN_MULTIARCH}/${gcc_major})
if(NOT EXISTS ${CMAKE_SYSROOT}/usr/include/c++/${gcc_major} OR NOT EXISTS ${gcc_lib})
  message(FATAL_ERROR "The sysroot ${CMAKE_SYSROOT} has no C++ library of GCC ${gcc_major}, "
                      "the cross compiler's version (scripts/debian-packages.sh: sysroot_packages)")
endif()
set(arch_include ${CMAKE_SYSROOT}/usr/include/${BATTEST_DEBIAN_MULTIARCH})
set(arch_lib ${CMAKE_SYSROOT}/usr/lib/${BATTEST_DEBIAN_MULTIARCH})
string(JOIN " " CMAKE_C_FLAGS_INIT -nostdinc -isystem ${gcc_lib}/include
       -isystem ${arch_include} -isystem ${CMAKE_SYSROOT}/usr/include)
string(JOIN " " CMAKE_CXX_FLAGS_INIT -nostdinc++
       -isystem ${CMAKE_SYSROOT}/usr/include/c++/${gcc_major}
       -isystem ${arch_include}/c++/${gcc_major}
       -isystem ${CMAKE_SYSROOT}/usr/include/c++/${gcc_major}/backward
       ${CMAKE_C_FLAGS_INIT})
string(JOIN " " link_flags -B${gcc_lib}/ -B${arch_lib}/ -L${gcc_lib}
       -L${CMAKE_SYSROOT}/lib/${BATTEST_DEBIAN_MULTIARCH} -L${arch_lib})
# The flags are cached with the build tree: one configured with another sysroot (another
# cache directory) would go on with that one.
if(DEFINED CACHE{CMAKE_CXX_FLAGS})
  string(FIND "${CMAKE_CXX_FLAGS} " "-isystem ${CMAKE_SYSROOT}/usr/include " at)
  if(at LESS 0)
    message(FATAL_ERROR "This build tree was configured with another sysroot than "
                        "${CMAKE_SYSROOT}: configure it afresh (cmake --fresh) or remove it")
  endif()
endif()
set(CMAKE_EXE_LINKER_FLAGS_INIT "${link_flags}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${link_flags}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${link_flags}")

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L ${CMAKE_SYSROOT})
