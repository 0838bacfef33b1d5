list(APPEND JKT_CORE_SOURCES
  src/codecs/Codec.h
  src/codecs/CodecUtil.h src/codecs/CodecUtil.cpp
  src/codecs/Exif.h src/codecs/Exif.cpp
  src/codecs/ColourProfile.h src/codecs/ColourProfile.cpp
  src/codecs/JpegCodec.cpp
  src/codecs/GifCodec.h src/codecs/GifCodec.cpp
  src/codecs/TiffCodec.cpp
  src/codecs/MetafileCodec.cpp
  src/codecs/BmpCodec.cpp src/codecs/BmpWrite.h
  src/codecs/TargaCodec.cpp
  src/codecs/PcxCodec.cpp
  src/codecs/PsdCodec.cpp
  src/codecs/PnmCodec.cpp
  src/codecs/PcdCodec.cpp
  src/codecs/AnimatorCodec.cpp
  src/codecs/RlaCodec.cpp
  src/codecs/CutCodec.cpp
  src/codecs/PngCodec.cpp
  src/codecs/WebpCodec.cpp
  src/codecs/HeifCodec.cpp
  src/codecs/JxlCodec.cpp
)

# libwmf's raster device header includes its own gd headers by bare name.
find_path(WMF_GD_INCLUDE_DIR gd_io.h PATH_SUFFIXES libwmf/gd REQUIRED)
set_source_files_properties(src/codecs/MetafileCodec.cpp PROPERTIES INCLUDE_DIRECTORIES ${WMF_GD_INCLUDE_DIR})
