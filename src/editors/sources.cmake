# Sources of src/editors (paths relative to the project root).

# Track lists from an album's own files: cue sheets and tagged audio files.
list(APPEND JKT_CORE_SOURCES
  src/editors/CueSheet.h src/editors/CueSheet.cpp
  src/editors/TrackImport.h src/editors/TrackImport.cpp
)
