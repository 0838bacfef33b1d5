#pragma once
// A test with the main window open on settings of its own, in a temporary
// folder, with every hint turned off.

#include "ShellTestSupport.h"
#include "canvas/LabelShower.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/formHints.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QStringList>
#include <QTemporaryDir>
#include <QToolButton>

#include <memory>

class TMainWindowTest : public ::testing::Test {
protected:
  // Makes the window with its settings in `ini` inside the test's folder;
  // it is not shown yet.
  void OpenMainWindow(const QString& ini = QStringLiteral("JKTA.ini"))
  {
    ASSERT_TRUE(dir.isValid());
    settings = std::make_unique<TSettings>(dir.filePath(ini));
    for (int n = 1; n <= TSettings::HintCount; ++n) settings->SetShowHint(n, false);
    hints = std::make_unique<TfrmHints>(*settings);
    frm = std::make_unique<TfrmMain>(*settings, *hints);
    ASSERT_TRUE(frm->StartedWell());
  }

  TLabelShower* canvas() const { return frm->Canvas(); }
  TCoverDocument& doc() const { return frm->Canvas()->Document(); }
  QToolButton* Button(const char* name) const { return frm->findChild<QToolButton*>(QString::fromLatin1(name)); }
  // The lines of the layer list, top first.
  QStringList Lines() const
  {
    QStringList lines;
    for (int i = 0; i < frm->LayerList()->count(); ++i) lines << frm->LayerList()->item(i)->text();
    return lines;
  }
  // A layer button, then a click on the cover where the layer goes.
  void AddWith(const char* button, QPoint at)
  {
    Button(button)->click();
    Click(canvas(), at);
  }

  QTemporaryDir dir;
  std::unique_ptr<TSettings> settings;
  std::unique_ptr<TfrmHints> hints;
  std::unique_ptr<TfrmMain> frm;
};
