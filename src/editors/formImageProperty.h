#pragma once
// The picture layer editor: how far the picture fades out toward its left and
// right edges and toward its top and bottom edges, in percent. The preview
// shows the picture faded toward white; it is rebuilt once per slider gesture,
// when the mouse button is up again. Nothing reaches the cover before OK.

#include <QDialog>
#include <QImage>
#include <QTimer>

#include <functional>

class QFrame;
class QLabel;
class QPushButton;
class QSlider;
class TCoverDocument;

class TfrmImageProperty : public QDialog {
  Q_OBJECT

public:
  explicit TfrmImageProperty(TCoverDocument& document, QWidget* parent = nullptr);
  ~TfrmImageProperty() override;

  // Copies of the layer's picture and mask; builds the preview.
  void LoadBitmaps(const QImage& picture, const QImage& mask);
  // The layer and its soft edges; builds the preview.
  void LoadValues(int number, int left, int top, int softV, int softH);

  // Where OK sends the new picture and mask; the document's SetLayerBitmaps
  // unless replaced.
  std::function<void(int number, int left, int top, int softV, int softH, const QImage& picture,
                     const QImage& mask)>
      SetLayerBitmaps;

  const QImage& Preview() const { return m_preview; }
  int PreviewBuilds() const { return m_previewBuilds; }
  QSlider* SliderV() const { return tbarV; }
  QSlider* SliderH() const { return tbarH; }
  QWidget* PaintBox() const { return m_paintBox; }
  const QTimer& ScrollTimer() const { return tmScroll; }

signals:
  void PreviewBuilt();

private:
  void tbarVChange();
  void tmScrollTimer();
  void btnOkClick();
  void UpdatePreview();
  void WriteLabels();

  QImage m_picture;
  QImage m_mask;
  QImage m_preview;
  int m_number = 0, m_left = 0, m_top = 0;
  bool m_ready = false;
  int m_previewV = -1, m_previewH = -1;
  int m_previewBuilds = 0;

  QFrame* plBack = nullptr;
  QWidget* m_paintBox = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* lbV = nullptr;
  QLabel* lbH = nullptr;
  QSlider* tbarV = nullptr;
  QSlider* tbarH = nullptr;
  QTimer tmScroll;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;
};
