# The Debian package: `cpack -G DEB` in a build configured with the prefix /usr (scripts/package).
# Depends is worked out by dpkg-shlibdeps from the programs, never written by hand.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glintmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Glintmark maintainers <maintainers@users.noreply.c-seed-014adab7.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pull the JPEG textures out of level database files")
set(CPACK_PACKAGE_DESCRIPTION
    "Glintmark finds every JFIF texture inside a game's level database file (*.ldb)\n"
    "and writes each one as a numbered JPEG file (Vorlesk_0001.jpg, ...) into a\n"
    "folder of your choice. The source is read once and never changed.\n"
    "\n"
    "The package holds the desktop program glintmark, with its menu entry and\n"
    "icons, and the command-line extractor glintmark-cli, which takes many files\n"
    "at once, lists what a file holds and reports in JSON.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
