# Sources of src/project (paths relative to the project root).
list(APPEND JKT_CORE_SOURCES
  src/project/IniFile.h src/project/IniFile.cpp
  src/project/WorkFolder.h src/project/WorkFolder.cpp
  src/project/ProjectFile.h src/project/ProjectFile.cpp
  src/project/ProjectCover.h src/project/ProjectCover.cpp
  src/project/OutputFile.h src/project/OutputFile.cpp
  src/project/ExportPng.h src/project/ExportPng.cpp
  src/project/ProjectThumbnail.h src/project/ProjectThumbnail.cpp
)
list(APPEND JKT_UI_SOURCES
)
