list(APPEND JKT_CORE_SOURCES
  src/imagelib/ImageLoader.h src/imagelib/ImageLoader.cpp
)
