# Sources of src/printing (paths relative to the project root).
list(APPEND JKT_CORE_SOURCES
  src/printing/PdfFile.h src/printing/PdfFile.cpp
)
list(APPEND JKT_UI_SOURCES
  src/printing/PrintPreview.h src/printing/PrintPreview.cpp
  src/printing/DesktopPrinter.h src/printing/DesktopPrinter.cpp
  src/printing/formPrinter.h src/printing/formPrinter.cpp
  src/printing/PrintPdf.h src/printing/PrintPdf.cpp
)
