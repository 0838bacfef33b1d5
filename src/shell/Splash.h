#pragma once
// The splash window shown while the program's windows are being made.

#include <QWidget>

class TfrmSplash : public QWidget {
  Q_OBJECT

public:
  explicit TfrmSplash(QWidget* parent = nullptr);

protected:
  void paintEvent(QPaintEvent*) override;
};
