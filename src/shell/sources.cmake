list(APPEND JKT_UI_SOURCES
  src/shell/Application.h src/shell/Application.cpp
  src/shell/Main.h src/shell/Main.cpp
  src/shell/Settings.h src/shell/Settings.cpp
  src/shell/SingleInstance.h src/shell/SingleInstance.cpp
  src/shell/Splash.h src/shell/Splash.cpp
  src/shell/formHints.h src/shell/formHints.cpp
)
