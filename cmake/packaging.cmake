# What `cmake --install` puts where, and the Debian package CPack makes of it.
include(GNUInstallDirs)

install(TARGETS battest battest-report RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The README, and beside it doc/ with every picture it shows (whichever are there when
# the install runs), so that its links keep working.
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY doc DESTINATION ${CMAKE_INSTALL_DOCDIR} FILES_MATCHING PATTERN "*.png")

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
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_project.cmake)
include(CPack)
