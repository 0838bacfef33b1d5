#pragma once
// The hint window: explains the next step of an action the user starts, with
// a check box that stops that hint from appearing again.

#include <QDialog>

class QCheckBox;
class QFrame;
class QPlainTextEdit;
class QPushButton;
class TSettings;

class TfrmHints : public QDialog {
  Q_OBJECT

public:
  explicit TfrmHints(TSettings& settings, QWidget* parent = nullptr);

  // Stores the hint's number and shows its text; the caller then shows the
  // window modally.
  void SetHintText(const QString& text, int number);
  int HintNumber() const { return m_number; }
  // Shows hint `number` modally when its switch is on.
  void ShowHint(int number);

  // The eight hint texts, numbered 1 … 8.
  static QString HintText(int number);

  QPlainTextEdit* Memo() const { return m_memo; }
  QCheckBox* CheckBox() const { return m_check; }
  QPushButton* CloseButton() const { return m_close; }

protected:
  void showEvent(QShowEvent*) override;

private:
  void cboxClick();

  TSettings& m_settings;
  int m_number = 0;
  QFrame* m_panel = nullptr;
  QPlainTextEdit* m_memo = nullptr;
  QCheckBox* m_check = nullptr;
  QPushButton* m_close = nullptr;
};
