list(APPEND JKT_CORE_SOURCES
  src/canvas/Functions.h src/canvas/Functions.cpp
  src/canvas/Layer.h
  src/canvas/CoverDocument.h src/canvas/CoverDocument.cpp
  src/canvas/CoverHistory.h src/canvas/CoverHistory.cpp
  src/canvas/CoverRender.h src/canvas/CoverRender.cpp
  src/canvas/TextRender.h src/canvas/TextRender.cpp
  src/canvas/Interaction.h src/canvas/Interaction.cpp
)
list(APPEND JKT_UI_SOURCES
  src/canvas/LabelShower.h src/canvas/LabelShower.cpp
)
