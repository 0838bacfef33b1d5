# Sources of src/imageeditor (paths relative to the project root).
list(APPEND JKT_CORE_SOURCES
  src/imageeditor/effects/Effects.h
  src/imageeditor/effects/EffectSupport.h
  src/imageeditor/effects/EffectBands.cpp
  src/imageeditor/effects/SharedRandom.cpp
  src/imageeditor/effects/ToneEffects.cpp
  src/imageeditor/effects/NeighbourEffects.cpp
  src/imageeditor/effects/RankFilter.cpp
  src/imageeditor/effects/TileEffects.cpp
)
list(APPEND JKT_CORE_SOURCES
  src/imageeditor/MakeProcess.h src/imageeditor/MakeProcess.cpp
)
