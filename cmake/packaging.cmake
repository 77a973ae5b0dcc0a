# What `cmake --install` puts where, and the Debian package CPack makes of it.
include(GNUInstallDirs)

install(TARGETS battest battest-report RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The README, and beside it doc/ with every page it links to and every picture shown
# (whichever are there when the install runs), so that the links keep working.
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY doc DESTINATION ${CMAKE_INSTALL_DOCDIR} FILES_MATCHING PATTERN "*.png" PATTERN "*.md")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME battest)
set(CPACK_PACKAGE_VENDOR "battest developers")
set(CPACK_PACKAGE_CONTACT "battest developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Battery test utility for a battery-powered terminal")
set(CPACK_PACKAGE_DESCRIPTION "battest samples the battery, shows it on the terminal's \
screen, keeps a battery log and uploads the log over YMODEM; battest-report summarises and \
plots such logs. This build runs on the host platform: the terminal's services and UI \
toolkit on Linux, the screen drawn in a terminal window or on a Linux framebuffer.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The libraries the programs need, found by dpkg-shlibdeps among the installed packages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnuplot-nox")
# A cross build names its Debian architecture (the toolchain file sets it); otherwise
# CPack asks dpkg for this machine's.
if(BATTEST_DEBIAN_ARCH)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${BATTEST_DEBIAN_ARCH})
endif()
# A build against a sysroot made of Debian packages (the ARM builds): dpkg-shlibdeps
# finds the libraries there, and the package holding each in the sysroot's own dpkg
# database (scripts/debian-root.sh), whose file lists name the files where they lie.
if(CMAKE_SYSROOT AND BATTEST_DEBIAN_MULTIARCH)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_SYSROOT}/lib/${BATTEST_DEBIAN_MULTIARCH}
      ${CMAKE_SYSROOT}/usr/lib/${BATTEST_DEBIAN_MULTIARCH})
  set(CPACK_BATTEST_DPKG_ADMINDIR ${CMAKE_SYSROOT}/var/lib/dpkg)
endif()
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_project.cmake)
include(CPack)
