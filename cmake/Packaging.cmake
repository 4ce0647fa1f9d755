# The Debian package, made by CPack from the install rules: `bash
# scripts/package.sh` (or `cpack --config CPackConfig.cmake` in a build
# folder) writes verblinka_<version>_<arch>.deb.

option(VERBLINKA_PACKAGING
  "Generate the manual pages, metadata and icons that the package installs" ON)
# Sanitized builds are for finding faults, never for shipping.
if(NOT VERBLINKA_PACKAGING OR VERBLINKA_SANITIZED OR NOT TARGET verblinka OR NOT TARGET verblinka-lookup)
  return()
endif()

# The day of this version's release: the changelog, the metadata and the
# manual pages carry it instead of the build time.
set(VERBLINKA_RELEASE_DATE 2026-12-09)
set(VERBLINKA_RELEASE_DATE_RFC2822 "Wed, 09 Dec 2026 00:00:00 +0000")
set(VERBLINKA_RELEASE_EPOCH 1796774400)
# The project has no domain of its own yet (the About dialog names example.org too).
set(VERBLINKA_APPSTREAM_ID org.example.verblinka)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

add_subdirectory(${PROJECT_SOURCE_DIR}/packaging ${PROJECT_BINARY_DIR}/packaging)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME verblinka)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Verblinka authors")
set(CPACK_PACKAGE_CONTACT "The Verblinka authors <verblinka@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "word lookup by similarity with a Hamming network")
set(CPACK_PACKAGE_DESCRIPTION
  "Verblinka is a small educational desktop program that shows a two-layer
Hamming network at work as an associative memory. It builds a dictionary from
any text file and, for a typed word, selects the stored word that the network
and a character-difference count find closest to it. The window is in Russian.
.
The package also contains verblinka-lookup, a command-line tool that loads a
dictionary the same way and prints the word found for each word given.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.example.org/)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Shared libraries the binaries link come from dpkg-shlibdeps, libqt6svg6
# among them (the program links Qt SVG), which also brings the SVG plugins
# that draw the icons. Named by hand is only what it cannot see: the font that
# the fixed window layouts are measured in, and Qt's own Russian texts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-extra, qt6-translations-l10n")

include(CPack)
