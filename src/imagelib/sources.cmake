list(APPEND JKT_CORE_SOURCES
  src/imagelib/ImageLoader.h src/imagelib/ImageLoader.cpp
  src/imagelib/MakeThumbnail.h src/imagelib/MakeThumbnail.cpp
  src/imagelib/PictureFiles.h src/imagelib/PictureFiles.cpp
  src/imagelib/PictureFinish.h src/imagelib/PictureFinish.cpp
)
# The grid and its artwork are windows: they go to the UI library.
list(APPEND JKT_UI_SOURCES
  src/imagelib/Thumbnailer.h src/imagelib/Thumbnailer.cpp
  src/imagelib/TypeIcons.h src/imagelib/TypeIcons.cpp
  resources/types/types.qrc
)
