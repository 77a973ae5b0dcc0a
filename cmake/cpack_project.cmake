# Read by cpack before it makes a package. dpkg-shlibdeps finds the libraries of the
# programs among the Debian packages of the architecture DEB_HOST_ARCH names, and reads
# the programs with that architecture's objdump: for a cross build, the package's
# architecture, not this machine's (its libraries are then those of the packages
# installed for it, e.g. libstdc++6:armhf).
if(CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  set(ENV{DEB_HOST_ARCH} "${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}")
endif()
