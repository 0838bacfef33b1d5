// Test main shared by every test program: runs the tests inside a Qt
// application on the offscreen platform, in a private temporary folder with
// its own configuration and data folders, so no test sees another's files.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#ifdef JKT_TEST_WIDGETS
#include <QApplication>
using TTestApp = QApplication;
#else
#include <QGuiApplication>
using TTestApp = QGuiApplication;
#endif

#include <cstdlib>
#include <memory>

int main(int argc, char** argv)
{
  ::testing::InitGoogleTest(&argc, argv);

  // A fresh home for this process before Qt reads any of it.
  auto root = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/jkt-test-XXXXXX");
  if (!root->isValid()) return 2;
  const QString base = root->path();
  for (const char* sub : {"tmp", "config", "data", "runtime"}) QDir(base).mkpath(sub);
  QFile::setPermissions(base + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  setenv("XDG_RUNTIME_DIR", QString(base + "/runtime").toLocal8Bit().constData(), 1);
  setenv("TMPDIR", QString(base + "/tmp").toLocal8Bit().constData(), 1);
  setenv("XDG_CONFIG_HOME", QString(base + "/config").toLocal8Bit().constData(), 1);
  setenv("XDG_DATA_HOME", QString(base + "/data").toLocal8Bit().constData(), 1);
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  int qargc = 1;
  char* qargv[] = {argv[0], nullptr};
  TTestApp app(qargc, qargv);
  TTestApp::setApplicationName("Jacketeer");
  TTestApp::setOrganizationName("Jacketeer");

  int rc = RUN_ALL_TESTS();
  root.reset();
  return rc;
}
