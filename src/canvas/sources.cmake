list(APPEND JKT_CORE_SOURCES
  src/canvas/Functions.h src/canvas/Functions.cpp
  src/canvas/Layer.h
  src/canvas/CoverDocument.h src/canvas/CoverDocument.cpp
)
list(APPEND JKT_UI_SOURCES
  src/canvas/LabelShower.h src/canvas/LabelShower.cpp
)
