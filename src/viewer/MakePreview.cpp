#include "viewer/MakePreview.h"

#include "imagelib/ImageLoader.h"
#include "viewer/ViewerText.h"


#include <chrono>
#include <cstring>
#include <thread>

namespace {

class TSteadyClock : public TFrameClock {
public:
  qint64 NowMs() override
  {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

void Fill(QImage& img, int left, int top, int width, int height, TColor color)
{
  const int x0 = std::max(0, left), y0 = std::max(0, top);
  const int x1 = std::min(img.width(), left + width), y1 = std::min(img.height(), top + height);
  if (x0 >= x1 || y0 >= y1) return;
  const uint8_t b = uint8_t(ColorBlue(color)), g = uint8_t(ColorGreen(color)), r = uint8_t(ColorRed(color));
  for (int y = y0; y < y1; ++y) {
    uint8_t* p = img.scanLine(y) + 3 * x0;
    for (int x = x0; x < x1; ++x, p += 3) {
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
}

void CopyRect(const QImage& from, QImage& to, int left, int top, int width, int height)
{
  const int x0 = std::max(0, left), y0 = std::max(0, top);
  const int x1 = std::min(to.width(), left + width), y1 = std::min(to.height(), top + height);
  if (x0 >= x1 || y0 >= y1) return;
  for (int y = y0; y < y1; ++y)
    std::memcpy(to.scanLine(y) + 3 * x0, from.constScanLine(y) + 3 * x0, size_t(x1 - x0) * 3);
}

void CopyAll(const QImage& from, QImage& to)
{
  CopyRect(from, to, 0, 0, to.width(), to.height());
}

}  // namespace

std::shared_ptr<TFrameClock> SystemFrameClock()
{
  static const std::shared_ptr<TFrameClock> clock = std::make_shared<TSteadyClock>();
  return clock;
}

TMakePreviewThread::TMakePreviewThread(const QString& fileName, QSize box, TColor backColor,
                                       std::shared_ptr<TFrameClock> clock)
    : m_fileName(fileName), m_box(box), m_backColor(backColor), m_clock(clock ? clock : SystemFrameClock())
{
}

TMakePreviewThread::~TMakePreviewThread()
{
  Terminate();
  wait();
}

void TMakePreviewThread::Terminate()
{
  const std::lock_guard l(m_lock);
  m_terminate = true;
  m_served.notify_all();
}

bool TMakePreviewThread::Serve(const std::function<void(const TPresent&, const QImage&)>& show)
{
  const std::lock_guard l(m_lock);
  if (m_request.Kind == pkNone) return false;
  if (show) show(m_request, m_preview);
  m_request = TPresent{};
  m_served.notify_all();
  return true;
}

bool TMakePreviewThread::Present(TPresentKind kind, int percent, int frame)
{
  std::unique_lock l(m_lock);
  if (m_terminate) return false;
  m_request = TPresent{kind, percent, frame};
  emit PresentReady();
  m_served.wait(l, [this] { return m_request.Kind == pkNone || m_terminate; });
  // Told to stop before the window thread came: the request is withdrawn,
  // so the window thread never reads the picture while this thread goes on.
  m_request = TPresent{};
  return !m_terminate;
}

void TMakePreviewThread::run()
{
  if (m_terminate) return;
  const auto progress = [this](int percent) { return Present(pkBand, percent); };
  TGifAnimation gif;
  int w = 0, h = 0;
  const bool ok = LoadPreviewFile(m_fileName, m_preview, &gif, m_backColor, m_box.width(), m_box.height(), &w,
                                  &h, false, progress, progress, progress);
  m_width = w;
  m_height = h;
  if (!ok) {
    m_failed = true;
    m_preview = QImage();
    return;
  }
  if (gif.FrameCount() < 2 || m_terminate) return;
  Play(gif);
}

bool TMakePreviewThread::StillFrame(const TGifAnimation& gif)
{
  QImage first = gif.FirstFrameOnWhite();
  if (first.isNull()) return false;
  const QSize s = ShrinkToBox(first.width(), first.height(), m_box.width(), m_box.height());
  QImage out;
  ResampleBitmap(first, out, s.width(), s.height(), 0xFFFFFF);
  if (out.isNull()) return false;
  m_preview = out;
  return true;
}

void TMakePreviewThread::Play(TGifAnimation& gif)
{
  const qint64 screenBytes = qint64(gif.ScreenWidth) * gif.ScreenHeight * 3;
  // Four work bitmaps here and the window's copy; the frames share the rest.
  qint64 left = kAnimationBudget - 5 * screenBytes;
  size_t keep = 0;
  for (; keep < gif.Frames.size(); ++keep) {
    left -= gif.Frames[keep].Indexes.size() + qint64(sizeof(TGifAnimation::TGifFrame));
    if (left < 0) break;
  }
  if (keep < 2) {
    // Too large to play: the first frame, still; a screen that alone would
    // take a good part of the memory is not drawn at all.
    if (screenBytes > kAnimationBudget / 4 || !StillFrame(gif)) m_failed = true;
    return;
  }
  gif.Frames.resize(keep);
  gif.Frames.shrink_to_fit();
  gif.Data.clear();
  m_framesKept = int(keep);
  m_animated = true;

  const TColor background = gif.BackgroundColor;
  m_preview = gif.NewCanvas();
  if (m_preview.isNull()) {
    m_failed = true;
    return;
  }
  Fill(m_preview, 0, 0, m_preview.width(), m_preview.height(), background);
  QImage composition = m_preview.copy();
  const QImage backgroundCopy = m_preview.copy();
  QImage scratch(m_preview.size(), QImage::Format_BGR888);
  if (composition.isNull() || backgroundCopy.isNull() || scratch.isNull()) {
    m_failed = true;
    return;
  }

  int m = 0;             // disposal method, kept from frame to frame
  int transparent = -1;  // transparent index, likewise
  while (!m_terminate) {
    bool shown = false;
    bool first = true;
    int pm = 1;
    for (int i = 0; i < gif.FrameCount() && !m_terminate; ++i) {
      const TGifAnimation::TGifFrame& f = gif.Frames[size_t(i)];
      if (f.Width <= 0 || f.Height <= 0) continue;
      if (f.HasControl) {
        m = f.Disposal;
        transparent = f.TransparentIndex;
      }
      const bool t = transparent >= 0;
      auto reset = [&] {
        if (t)
          CopyRect(backgroundCopy, composition, f.Left, f.Top, f.Width, f.Height);
        else
          Fill(composition, 0, 0, composition.width(), composition.height(), background);
      };
      if (first) reset();
      first = false;
      if (m == 0 || m == 1) {
        TGifAnimation::DrawFramePixels(f, transparent, composition);
        CopyAll(composition, m_preview);
      } else if (m == 2) {
        TGifAnimation::DrawFramePixels(f, transparent, composition);
        CopyAll(composition, m_preview);
        reset();
      } else if (m == 3) {
        if (pm == 0 || pm == 1) {
          TGifAnimation::DrawFramePixels(f, transparent, m_preview);
        } else if (pm == 2 || pm == 3) {
          CopyAll(composition, scratch);
          TGifAnimation::DrawFramePixels(f, transparent, scratch);
          CopyAll(scratch, m_preview);
        }
      }
      shown = true;
      if (!Present(pkFrame, 0, i)) break;
      const qint64 shownAt = m_clock->NowMs();
      const int stay = FrameTimeMs(f.HasControl, f.DelayMs / 10);
      while (!m_terminate && m_clock->NowMs() - shownAt < stay) m_clock->SleepMs(1);
      pm = m;
    }
    if (!shown) break;  // nothing on the screen to play
  }
}
