# Installs the program, its desktop entry, its icon and its manual; the manual
# is also copied beside the executable so Help works from the build tree.
include(GNUInstallDirs)

configure_file(${CMAKE_CURRENT_SOURCE_DIR}/resources/JKTAHelp.html
               ${CMAKE_CURRENT_BINARY_DIR}/JKTAHelp.html COPYONLY)

install(FILES resources/jacketeer.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/icons/jacketeer.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES resources/JKTAHelp.html
        DESTINATION ${CMAKE_INSTALL_DATADIR}/jacketeer)
