# The Debian package: `cpack -G DEB` in a build folder makes vantor_<version>_<arch>.deb from
# what `cmake --install` puts in place, under /usr. scripts/package builds one as it should be
# shipped (Release, Debian's hardening flags) and scripts/check-package checks it.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vantor developers")
set(CPACK_PACKAGE_CONTACT ${VANTOR_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "configure serial LCD modules and simulate the Modbus slaves they poll")
set(CPACK_PACKAGE_DESCRIPTION
    "Vantor is a workbench tool for serial character-LCD display modules that act as\n"
    "Modbus RTU masters. Over one serial port it configures a module (two-line\n"
    "KV-216/KV-216L, four-line KV-420) and simulates the Modbus slaves the module\n"
    "polls: every request is shown byte by byte, its CRC checked, and answered with\n"
    "the values picked in the window.\n"
    "\n"
    "The package holds the window program, vantor, and vantor-cli, which prints or\n"
    "sends configuration frames and answers polls without a window.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VANTOR_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/vantor/vantor)
# Libraries from dpkg-shlibdeps; the window program also needs Qt's platform plugins, which
# no library links to.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# Control files and folders with the modes Debian expects (0644 files, 0755 folders).
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
