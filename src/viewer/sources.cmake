list(APPEND JKT_CORE_SOURCES
  src/viewer/ViewerText.h src/viewer/ViewerText.cpp
  src/viewer/MakePreview.h src/viewer/MakePreview.cpp
)
# The viewer's windows and their wiring into the main window.
list(APPEND JKT_UI_SOURCES
  src/viewer/Viewer.h src/viewer/Viewer.cpp
  src/viewer/formViewerMain.h src/viewer/formViewerMain.cpp
  src/viewer/ViewerWiring.h src/viewer/ViewerWiring.cpp
  resources/viewer/viewer.qrc
)
