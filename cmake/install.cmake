# Installs the program with everything a desktop needs: the desktop entry, the
# icons of the program and of its project files, the file type, the
# thumbnailer, the software-centre description, the manual page and the help
# file. The help file is also copied beside the executable so Help works from
# the build tree.
include(GNUInstallDirs)

set(JKT_HOMEPAGE "https://jacketeer.org" CACHE STRING "The project's home page (software centres, package)")
set(JKT_APP_ID "org.jacketeer.Jacketeer")

configure_file(${CMAKE_CURRENT_SOURCE_DIR}/resources/JKTAHelp.html
               ${CMAKE_CURRENT_BINARY_DIR}/JKTAHelp.html COPYONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/resources/${JKT_APP_ID}.metainfo.xml.in
               ${CMAKE_CURRENT_BINARY_DIR}/${JKT_APP_ID}.metainfo.xml @ONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/resources/jacketeer.1.in
               ${CMAKE_CURRENT_BINARY_DIR}/jacketeer.1 @ONLY)

# Manual pages are installed compressed, as Debian and others keep them.
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/jacketeer.1.gz
                   COMMAND gzip -9 -n -f -k jacketeer.1
                   DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/jacketeer.1
                   WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
add_custom_target(jacketeer_manpage ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/jacketeer.1.gz)

install(FILES resources/jacketeer.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/icons/jacketeer.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES resources/icons/application-x-jacketeer-project.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/mimetypes)
install(FILES resources/jacketeer-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME jacketeer.xml)
install(FILES resources/jacketeer.thumbnailer
        DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${JKT_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/jacketeer.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES resources/JKTAHelp.html
        DESTINATION ${CMAKE_INSTALL_DATADIR}/jacketeer)

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
