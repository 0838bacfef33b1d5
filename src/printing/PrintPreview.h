#pragma once
// The print preview panel: the sheet drawn to scale with its printable area,
// the cover at its printed size and place and the optional cutting line. It
// keeps the arithmetic of where the cover goes on the sheet (nine positions
// or a dragged place) and prints the cover there.

#include "canvas/Functions.h"

#include <QFrame>
#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

class QPainter;

// What the printer tells about itself, in printer pixels.
struct TPrinterMetrics {
  int DpiX = 0, DpiY = 0;               // pixels per inch
  int PrintWidth = 0, PrintHeight = 0;  // the printable area (the page of a print job)
  int OffsetX = 0, OffsetY = 0;         // the printable area's distance from the sheet's left and top edge
  int PaperWidth = 0, PaperHeight = 0;  // the whole sheet
  bool operator==(const TPrinterMetrics&) const = default;
};

// The printer the preview measures and prints on: the desktop's printer in
// the program, a printer of known metrics in the tests.
class TPrinterDevice {
public:
  virtual ~TPrinterDevice() = default;
  virtual TPrinterMetrics Metrics() const = 0;
  // True when a job writes a file whose name the user chooses (a PDF printer).
  virtual bool PrintsToFile() const = 0;
  virtual QString OutputFile() const = 0;
  virtual void SetOutputFile(const QString& file) = 0;
  // One job of exactly one page; `draw` paints in printer pixels with the
  // origin at the printable area's top-left corner. False with a message
  // when the job could not be done.
  virtual bool Print(const QString& title, const std::function<void(QPainter&)>& draw, QString& error) = 0;
  // The printer set-up dialog; true when it was confirmed.
  virtual bool Setup(QWidget* parent) = 0;
};

// The printed cover is 4.73 inches square.
inline constexpr double kCoverInches = 4.73;

// The codes SetPosition takes, in the order of the nine radio items.
enum TCoverPosition : int {
  cpTop = 0, cpBottom = 1, cpLeft = 2, cpRight = 3, cpCenter = 4,
  cpLeftTop = 5, cpRightTop = 6, cpLeftBottom = 7, cpRightBottom = 8
};
// Radio item index (0 "Center" … 8 "RightBottom") to position code; -1 when out of range.
int PositionCodeOfItem(int item);
// The nine item captions, "Center" first.
const QStringList& PositionItemNames();

// A sheet of width × height fitted into box, enlarged or reduced with its
// proportions kept; an empty size when any of the four is not positive.
QSize FitSheet(int width, int height, int boxWidth, int boxHeight);

class TPrintPreview : public QFrame {
  Q_OBJECT

public:
  explicit TPrintPreview(QWidget* parent = nullptr);
  ~TPrintPreview() override;

  // The printer to measure and print on (not owned).
  void SetPrinter(TPrinterDevice* printer) { m_printer = printer; }
  TPrinterDevice* Printer() const { return m_printer; }

  // Reads the printer's metrics, keeps the picture (not owned; it must live
  // as long as it is shown) and centres the cover in the printable area.
  void SetCover(const QImage* cover);
  // The cover's printed size for the printer's resolution; re-applies the
  // position last chosen.
  void SetActualSize();
  // Places the cover at one of the nine positions (codes above).
  void SetPosition(int code);
  void SetCuttingLine(bool on);
  // Prints `cover` at the current place and size, in one job of one page.
  bool PrintCover(const QImage& cover, const QString& title, QString& error);

  const TPrinterMetrics& Metrics() const { return m_metrics; }
  bool MetricsRead() const { return m_metricsRead; }
  int CoverX() const { return m_coverX; }
  int CoverY() const { return m_coverY; }
  int CoverWidth() const { return m_coverWidth; }
  int CoverHeight() const { return m_coverHeight; }
  int Position() const { return m_position; }
  bool CuttingLine() const { return m_cuttingLine; }
  double PreviewScale() const { return m_previewScale; }
  // In the paint box's coordinates.
  const TRect& PageRect() const { return m_pageRect; }
  const TRect& CoverRect() const { return m_coverRect; }
  // The widget the preview is painted on and dragged in.
  QWidget* PaintBox() const { return m_paintBox; }

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  friend class TPreviewPaintBox;
  void ApplyPosition();
  void Layout();
  void Paint(QPainter& painter);
  void MouseDown(Qt::MouseButton button, int x, int y);
  void MouseMove(int x, int y);
  void MouseUp(Qt::MouseButton button);

  TPrinterDevice* m_printer = nullptr;
  TPrinterMetrics m_metrics;
  const QImage* m_coverImage = nullptr;
  int m_coverX = 0, m_coverY = 0;
  int m_coverWidth = 0, m_coverHeight = 0;
  int m_position = 0;
  bool m_cuttingLine = false;
  bool m_metricsRead = false;
  // The cover stands where SetPosition put it (not centred by SetCover, not dragged).
  bool m_placedByPosition = false;

  TRect m_pageRect;
  double m_previewScale = 0.0;
  TRect m_coverRect;
  int m_areaX = 0, m_areaY = 0, m_areaWidth = 0, m_areaHeight = 0;

  bool m_dragging = false;
  int m_lastX = 0, m_lastY = 0;

  QWidget* m_paintBox = nullptr;
  // The cover scaled to the cover rectangle, made again when either changes.
  QImage m_scaled;
  qint64 m_scaledFrom = 0;
};

