list(APPEND JKT_UI_SOURCES
  src/shell/Application.h src/shell/Application.cpp
  src/shell/CommandLine.h src/shell/CommandLine.cpp
  src/shell/FileHandOver.h src/shell/FileHandOver.cpp
  src/shell/Main.h src/shell/Main.cpp
  src/shell/Settings.h src/shell/Settings.cpp
  src/shell/SingleInstance.h src/shell/SingleInstance.cpp
  src/shell/Splash.h src/shell/Splash.cpp
  src/shell/formHints.h src/shell/formHints.cpp
  src/shell/UndoControls.h src/shell/UndoControls.cpp
)
set_source_files_properties(src/shell/CommandLine.cpp PROPERTIES COMPILE_DEFINITIONS "JKT_VERSION=\"${PROJECT_VERSION}\"")
