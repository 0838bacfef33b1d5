list(APPEND JKT_CORE_SOURCES
  src/codecs/Codec.h
  src/codecs/CodecUtil.h src/codecs/CodecUtil.cpp
  src/codecs/JpegCodec.cpp
  src/codecs/GifCodec.h src/codecs/GifCodec.cpp
  src/codecs/TiffCodec.cpp
  src/codecs/MetafileCodec.cpp
  src/codecs/BmpCodec.cpp
  src/codecs/TargaCodec.cpp
  src/codecs/PcxCodec.cpp
  src/codecs/PsdCodec.cpp
  src/codecs/PnmCodec.cpp
  src/codecs/PcdCodec.cpp
  src/codecs/AnimatorCodec.cpp
  src/codecs/RlaCodec.cpp
  src/codecs/CutCodec.cpp
)
