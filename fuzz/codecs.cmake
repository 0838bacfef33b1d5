foreach(pair jpeg:DecodeJpeg gif:DecodeGifFirstFrame tiff:DecodeTiff bmp:DecodeBmp ico:DecodeIcon
             wmf:DecodeWmf emf:DecodeEmf tga:DecodeTarga pcx:DecodePcx psd:DecodePsd pnm:DecodePnm
             pcd:DecodePcd pic:DecodeAnimator rla:DecodeRla cut:DecodeCut
             png:DecodePng webp:DecodeWebp heif:DecodeHeif avif:DecodeHeif jxl:DecodeJxl)
  string(REPLACE ":" ";" parts ${pair})
  list(GET parts 0 name)
  list(GET parts 1 fn)
  jkt_add_fuzzer(${name} fuzz_decoder.cpp)
  target_compile_definitions(fuzz_${name} PRIVATE JKT_DECODER=${fn})
endforeach()
