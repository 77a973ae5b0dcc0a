# Read by cpack before it makes a package. dpkg-shlibdeps finds the libraries of the
# programs among the Debian packages of the architecture DEB_HOST_ARCH names, and reads
# the programs with that architecture's objdump: for a cross build, the package's
# architecture, not this machine's. Its libraries are then those of the sysroot's
# packages, in the sysroot's dpkg database (DPKG_ADMINDIR).
if(CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  set(ENV{DEB_HOST_ARCH} "${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}")
endif()
if(CPACK_BATTEST_DPKG_ADMINDIR)
  set(ENV{DPKG_ADMINDIR} "${CPACK_BATTEST_DPKG_ADMINDIR}")
endif()
