#pragma once
// The image editor's view: shows a picture at 100 % inside a sunken panel,
// centres a picture smaller than the view, pans a larger one by dragging
// (stopping exactly at its edges) and exchanges the picture with the
// clipboard.

#include <QFrame>
#include <QImage>
#include <QRect>

class TBaseImageEditor;

// The paint box that fills the panel; painting and mouse input are handed
// to the panel.
class TViewBox : public QWidget {
  Q_OBJECT

public:
  explicit TViewBox(TBaseImageEditor& owner);

protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

private:
  TBaseImageEditor& m_owner;
};

class TBaseImageEditor : public QFrame {
  Q_OBJECT

public:
  // Colour shown where the view reaches past a small picture.
  static constexpr QRgb kBackColor = 0xFFC0C0C0;

  explicit TBaseImageEditor(QWidget* parent = nullptr, const QImage& initialPicture = QImage());

  // The displayed picture becomes a copy of source (24-bit); the view starts
  // again at the top-left corner. Does not repaint.
  virtual void SetBitmap(const QImage& source);
  const QImage& Bitmap() const { return m_bitmap; }

  // Puts the displayed picture on the clipboard.
  void CopyToClipboard() const;
  // The picture on the clipboard as a 24-bit bitmap. False when there is
  // none (error empty) or when it can not be edited (error says why).
  static bool ClipboardPicture(QImage& picture, QString& error);

  void ResetView();
  void FitView();
  void RefreshView();

  TViewBox* ViewBox() const { return m_viewBox; }
  QRect ViewRect() const { return m_viewRect; }  // picture coordinates
  bool Dragging() const { return m_dragging; }

  // Mouse handling of the view, in view coordinates.
  void ViewMouseDown(Qt::MouseButton button, int x, int y);
  void ViewMouseMove(int x, int y);
  void ViewMouseUp();
  void PaintView(QPaintEvent* e);

protected:
  void SetDisplayed(const QImage& picture) { m_bitmap = picture; }

private:
  // Moves the view along one axis by delta within 0 … pictureSize; returns
  // the change applied.
  static int PanAxis(int& low, int& high, int delta, int pictureSize);

  TViewBox* m_viewBox = nullptr;
  QImage m_bitmap;
  int m_pictureWidth = 0, m_pictureHeight = 0;
  int m_viewWidth = 0, m_viewHeight = 0;
  // Left, top, right and bottom edges; the right and bottom ones exclusive.
  int m_left = 0, m_top = 0, m_right = 0, m_bottom = 0;
  QRect m_viewRect;
  bool m_dragging = false;
  int m_dragX = 0, m_dragY = 0;

  void SyncViewRect() { m_viewRect = QRect(m_left, m_top, m_right - m_left, m_bottom - m_top); }
};
