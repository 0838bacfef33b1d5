// libFuzzer harness for opening project files: every input is written to a
// file and opened into a fresh document. Any crash, hang or sanitizer report
// is a fault of the project reader (or of a reader it hands a picture to).
// scripts/test runs it with libFuzzer's memory limits (-rss_limit_mb=2048
// -malloc_limit_mb=1024), so a project that makes us allocate beyond them
// (many layers, huge boxes; see tests/data/project/make_fuzz_seeds.py) is a
// finding too.
#include "canvas/CoverDocument.h"
#include "project/ProjectFile.h"
#include "project/WorkFolder.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {
QTemporaryDir* g_dir = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char arg0[] = "fuzz";
  static char* argv[] = {arg0, nullptr};
  static QGuiApplication app(argc, argv);  // fonts for text layers
  static QTemporaryDir dir;
  g_dir = &dir;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const QString file = g_dir->filePath("input.jkp");
  const QString work = g_dir->filePath("work");
  {
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly)) return 0;
    f.write(reinterpret_cast<const char*>(data), qint64(size));
  }
  QDir().mkpath(work);
  {
    TCoverDocument doc;
    doc.SetWorkFolder(work);
    doc.NewCover();
    QString error;
    LoadProject(doc, file, error);
  }
  RemoveFolderTree(work);  // pictures taken out of one input never pile up
  return 0;
}
