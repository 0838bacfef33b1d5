# Sources of src/editors (paths relative to the project root).
list(APPEND JKT_CORE_SOURCES
  src/editors/TrackFile.h src/editors/TrackFile.cpp
)
list(APPEND JKT_UI_SOURCES
  src/editors/FontCtls.h src/editors/FontCtls.cpp
  src/editors/PropertyEditor.h src/editors/PropertyEditor.cpp
  src/editors/formTextProperty.h src/editors/formTextProperty.cpp
  src/editors/formTracksProperty.h src/editors/formTracksProperty.cpp
  src/editors/formImageProperty.h src/editors/formImageProperty.cpp
  src/editors/formBackgroundProperty.h src/editors/formBackgroundProperty.cpp
  src/editors/TrackExchange.h src/editors/TrackExchange.cpp
  src/editors/LayerEditors.h src/editors/LayerEditors.cpp
)

# Track lists from an album's own files: cue sheets and tagged audio files.
list(APPEND JKT_CORE_SOURCES
  src/editors/CueSheet.h src/editors/CueSheet.cpp
  src/editors/TrackImport.h src/editors/TrackImport.cpp
  src/editors/TrackImportWorker.h src/editors/TrackImportWorker.cpp
)
list(APPEND JKT_UI_SOURCES
  src/editors/TrackImportControls.h src/editors/TrackImportControls.cpp
)
