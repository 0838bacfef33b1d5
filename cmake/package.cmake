# The Debian package (scripts/package runs cpack): jacketeer_<version>_<arch>.deb.
# The libraries it needs are found by dpkg-shlibdeps from the program itself;
# only what no library link shows is named here: the fonts that stand in for
# the default typeface of texts and track lists. The file type, icon and
# desktop entry caches are refreshed by the triggers of shared-mime-info,
# hicolor-icon-theme and desktop-file-utils, so the package needs no scripts.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME jacketeer)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Jacketeer developers")
set(CPACK_PACKAGE_CONTACT "The Jacketeer developers <maintainers@jacketeer.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "design and print square CD and DVD cover inserts")
set(CPACK_PACKAGE_DESCRIPTION
    "Jacketeer composes the square insert of a CD or DVD jewel case out of a background and a
stack of layers (pictures with soft edges, texts, the year, the time and track lists) and prints
it at its real size, 4.73 inches square, with an optional cutting line. A project file carries
its pictures. File managers show a project's cover as its thumbnail.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${JKT_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils, hicolor-icon-theme, xdg-utils")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
