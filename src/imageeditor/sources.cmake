# Sources of src/imageeditor (paths relative to the project root).
list(APPEND JKT_CORE_SOURCES
  src/imageeditor/effects/Effects.h
  src/imageeditor/effects/EffectSupport.h
  src/imageeditor/effects/SharedRandom.cpp
  src/imageeditor/effects/ToneEffects.cpp
  src/imageeditor/effects/NeighbourEffects.cpp
  src/imageeditor/effects/RankFilter.cpp
  src/imageeditor/effects/TileEffects.cpp
)
list(APPEND JKT_CORE_SOURCES
  src/imageeditor/MakeProcess.h src/imageeditor/MakeProcess.cpp
)
list(APPEND JKT_CORE_SOURCES
  src/imageeditor/SavePicture.h src/imageeditor/SavePicture.cpp
)
# The editing panel, the editor window and the effect dialogs.
list(APPEND JKT_UI_SOURCES
  src/imageeditor/BaseImageEditor.h src/imageeditor/BaseImageEditor.cpp
  src/imageeditor/ImageEditor.h src/imageeditor/ImageEditor.cpp
  src/imageeditor/ToolBase.h src/imageeditor/ToolBase.cpp
  src/imageeditor/EffectDialogs.h src/imageeditor/EffectDialogs.cpp
  src/imageeditor/formImageEditor.h src/imageeditor/formImageEditor.cpp
)
