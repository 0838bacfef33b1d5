#include "canvas/Functions.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

inline uint8_t Clamp255(int v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Every routine here works on 24-bit bitmaps; anything else is converted first.
void Ensure24(QImage& bmp)
{
  if (!bmp.isNull() && bmp.format() != QImage::Format_BGR888)
    bmp = bmp.convertToFormat(QImage::Format_BGR888);
}

const QImage& As24(const QImage& src, QImage& holder)
{
  if (src.isNull() || src.format() == QImage::Format_BGR888) return src;
  holder = src.convertToFormat(QImage::Format_BGR888);
  return holder;
}

// Overlap of [pos, pos + len) with [0, limit): first destination index,
// first source index and length (0 when they do not meet).
struct TSpan {
  int Dest = 0, Src = 0, Len = 0;
};

TSpan Overlap(int pos, int len, int limit)
{
  TSpan s;
  const int64_t start = std::max<int64_t>(pos, 0);
  const int64_t end = std::min<int64_t>(int64_t(pos) + len, limit);
  if (end <= start) return s;
  s.Dest = int(start);
  s.Src = int(start - pos);
  s.Len = int(end - start);
  return s;
}

// Shared frame of the 3 × 3 filters: rows 1 … h − 2 are rewritten from the
// unchanged rows above and below (kept in two saved rows, which is the same
// as working from a full copy); progress after each row may stop the pass,
// leaving the rows done so far changed and the rest as they were.
template <typename RowFn>
void Filter3x3(QImage& bmp, const TProgressFunc& progress, RowFn rowFn)
{
  Ensure24(bmp);
  const int w = bmp.width(), h = bmp.height();
  if (w < 3 || h < 3) return;
  const size_t n = size_t(w) * 3;
  std::vector<uint8_t> above(bmp.constScanLine(0), bmp.constScanLine(0) + n);
  std::vector<uint8_t> centre(n);
  for (int y = 1; y <= h - 2; ++y) {
    uint8_t* row = bmp.scanLine(y);
    std::memcpy(centre.data(), row, n);
    rowFn(above.data(), centre.data(), bmp.constScanLine(y + 1), row, n);
    above.swap(centre);
    if (progress && !progress(int(int64_t(y) * 100 / (h - 2)))) break;
  }
}

// Fade of the edges shared by SoftenMaskEdges and FadeEdgesToWhite.
void FadeEdges(QImage& bmp, int hp, int vp, bool greenOnly, bool atLeastOne)
{
  Ensure24(bmp);
  const int w = bmp.width(), h = bmp.height();
  if (w <= 0 || h <= 0) return;
  hp = std::clamp(hp, 0, 100);
  vp = std::clamp(vp, 0, 100);
  int dh = w * std::min(hp, 50) / 100;
  int dv = h * std::min(vp, 50) / 100;
  if (atLeastOne) {
    dh = std::max(dh, 1);
    dv = std::max(dv, 1);
  }
  // A fade width of 0 (a tiny bitmap) gives factor 0: only the outermost
  // column or row turns fully faded.
  const double kh = (hp != 0 && dh != 0) ? 255.0 / dh : 0.0;
  const double kv = (vp != 0 && dv != 0) ? 255.0 / dv : 0.0;
  const int first = greenOnly ? 1 : 0;
  const int last = greenOnly ? 1 : 2;
  auto fade = [&](uint8_t* px, int64_t t) {
    for (int c = first; c <= last; ++c) px[c] = uint8_t(((255 - t) * 255 + int64_t(px[c]) * t) / 255);
  };
  std::vector<int64_t> tcol(size_t(dh) + 1);
  for (int i = 0; i <= dh; ++i) tcol[size_t(i)] = RoundHalfEven(i * kh);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = bmp.scanLine(y);
    for (int i = 0; i <= dh; ++i) {
      if (i < w) fade(row + 3 * i, tcol[size_t(i)]);
      const int j = w - 1 - i;
      if (j >= 0) fade(row + 3 * j, tcol[size_t(i)]);
    }
  }
  for (int j = 0; j <= dv; ++j) {
    const int64_t t = RoundHalfEven(j * kv);
    for (int r : {j, h - 1 - j}) {
      if (r < 0 || r >= h) continue;
      uint8_t* row = bmp.scanLine(r);
      for (int x = 0; x < w; ++x) fade(row + 3 * x, t);
    }
  }
}

}  // namespace

int RoundHalfEven(double v)
{
  return int(std::nearbyint(v));  // the default rounding mode sends halves to even
}

QImage NewBitmap(int width, int height, TColor fill)
{
  QImage img(std::max(width, 0), std::max(height, 0), QImage::Format_BGR888);
  FillBitmap(img, fill);
  return img;
}

void FillBitmap(QImage& bmp, TColor color)
{
  Ensure24(bmp);
  if (bmp.isNull()) return;
  const uint8_t b = uint8_t(ColorBlue(color)), g = uint8_t(ColorGreen(color)), r = uint8_t(ColorRed(color));
  const int w = bmp.width();
  uint8_t* first = bmp.scanLine(0);
  for (int x = 0; x < w; ++x) {
    first[3 * x] = b;
    first[3 * x + 1] = g;
    first[3 * x + 2] = r;
  }
  for (int y = 1; y < bmp.height(); ++y) std::memcpy(bmp.scanLine(y), first, size_t(w) * 3);
}

void DrawBitmap(QImage& dest, const QImage& srcIn, int x, int y)
{
  Ensure24(dest);
  QImage holder;
  const QImage& src = As24(srcIn, holder);
  if (dest.isNull() || src.isNull()) return;
  const TSpan cx = Overlap(x, src.width(), dest.width());
  const TSpan cy = Overlap(y, src.height(), dest.height());
  if (cx.Len == 0 || cy.Len == 0) return;
  for (int j = 0; j < cy.Len; ++j)
    std::memcpy(dest.scanLine(cy.Dest + j) + 3 * cx.Dest, src.constScanLine(cy.Src + j) + 3 * cx.Src,
                size_t(cx.Len) * 3);
}

void BlendBitmap(QImage& dest, const QImage& srcIn, const QImage* maskIn, int x, int y, int percent,
                 bool perChannel)
{
  Ensure24(dest);
  QImage srcHolder, maskHolder;
  const QImage& src = As24(srcIn, srcHolder);
  if (dest.isNull() || src.isNull()) return;
  const QImage* mask = maskIn && !maskIn->isNull() ? &As24(*maskIn, maskHolder) : nullptr;
  percent = std::clamp(percent, 0, 100);

  // A mask smaller than the source limits the drawn area to what it covers.
  const int sw = mask ? std::min(src.width(), mask->width()) : src.width();
  const int sh = mask ? std::min(src.height(), mask->height()) : src.height();
  const TSpan cx = Overlap(x, sw, dest.width());
  const TSpan cy = Overlap(y, sh, dest.height());
  if (cx.Len == 0 || cy.Len == 0) return;

  for (int j = 0; j < cy.Len; ++j) {
    uint8_t* d = dest.scanLine(cy.Dest + j) + 3 * cx.Dest;
    const uint8_t* s = src.constScanLine(cy.Src + j) + 3 * cx.Src;
    const int n = cx.Len * 3;
    if (!mask) {
      const int ps = 100 - percent;
      for (int i = 0; i < n; i += 3) {
        if (s[i] == 255 && s[i + 1] == 255 && s[i + 2] == 255) continue;
        for (int c = 0; c < 3; ++c) d[i + c] = uint8_t((s[i + c] * ps + d[i + c] * percent) / 100);
      }
      continue;
    }
    const uint8_t* m = mask->constScanLine(cy.Src + j) + 3 * cx.Src;
    if (perChannel) {
      for (int i = 0; i < n; ++i) {
        const int mw = std::min(m[i] + percent, 255);
        d[i] = uint8_t((s[i] * (255 - mw) + d[i] * mw) / 255);
      }
    } else {
      for (int i = 0; i < n; i += 3) {
        const int mw = std::min(m[i + 1] + percent, 255);
        const int sw2 = 255 - mw;
        d[i] = uint8_t((s[i] * sw2 + d[i] * mw) / 255);
        d[i + 1] = uint8_t((s[i + 1] * sw2 + d[i + 1] * mw) / 255);
        d[i + 2] = uint8_t((s[i + 2] * sw2 + d[i + 2] * mw) / 255);
      }
    }
  }
}

void SoftenMaskEdges(QImage& bmp, int horizontalPercent, int verticalPercent)
{
  FadeEdges(bmp, horizontalPercent, verticalPercent, true, true);
}

void FadeEdgesToWhite(QImage& bmp, int horizontalPercent, int verticalPercent)
{
  FadeEdges(bmp, horizontalPercent, verticalPercent, false, false);
}

void GradientFill(QImage& bmp, TColor startColor, TColor endColor, QPoint startPoint, QPoint endPoint)
{
  Ensure24(bmp);
  if (bmp.isNull() || startPoint == endPoint) return;
  const int w = bmp.width(), h = bmp.height();
  const double sx = startPoint.x(), sy = startPoint.y();
  const double dx = endPoint.x() - sx, dy = endPoint.y() - sy;
  const double len = std::sqrt(dx * dx + dy * dy);
  const int s[3] = {ColorBlue(startColor), ColorGreen(startColor), ColorRed(startColor)};
  const int e[3] = {ColorBlue(endColor), ColorGreen(endColor), ColorRed(endColor)};

  // Parameter of the point along the segment: distance from the start to the
  // foot of the perpendicular, over the segment's length, 0 behind the start.
  auto param = [&](double px, double py) {
    double dist;
    if (dy == 0) {
      dist = std::fabs(px - sx);
    } else if (dx == 0) {
      dist = std::fabs(py - sy);
    } else {
      const double u = ((px - sx) * dx + (py - sy) * dy) / (len * len);
      dist = std::fabs(u) * len;
    }
    const double along = (px - sx) * dx + (py - sy) * dy;
    double t = along < 0 ? 0.0 : dist / len;
    return std::clamp(t, 0.0, 1.0);
  };
  auto colour = [&](double t, uint8_t* px) {
    for (int c = 0; c < 3; ++c) px[c] = Clamp255(RoundHalfEven((1 - t) * s[c] + t * e[c]));
    if (px[0] == 0 && px[1] == 0 && px[2] == 0) px[0] = 1;
    else if (px[0] == 255 && px[1] == 255 && px[2] == 255) px[0] = 254;
  };

  if (dy == 0) {  // every row alike
    uint8_t* first = bmp.scanLine(0);
    for (int x = 0; x < w; ++x) colour(param(x, 0), first + 3 * x);
    for (int y = 1; y < h; ++y) std::memcpy(bmp.scanLine(y), first, size_t(w) * 3);
    return;
  }
  for (int y = 0; y < h; ++y) {
    uint8_t* row = bmp.scanLine(y);
    if (dx == 0) {  // every pixel of a row alike
      uint8_t px[3];
      colour(param(0, y), px);
      for (int x = 0; x < w; ++x) std::memcpy(row + 3 * x, px, 3);
    } else {
      for (int x = 0; x < w; ++x) colour(param(x, y), row + 3 * x);
    }
  }
}

namespace {
template <int Level>
void SmoothRow(const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint8_t* out, size_t n)
{
  for (size_t i = 3; i + 3 < n; ++i) {
    const int sum = up[i - 3] + up[i] + up[i + 3] + mid[i - 3] + mid[i + 3] + down[i - 3] + down[i] + down[i + 3];
    if constexpr (Level == 1) out[i] = Clamp255((24 * mid[i] + sum) >> 5);
    else if constexpr (Level == 2) out[i] = Clamp255((8 * mid[i] + sum) >> 4);
    else out[i] = Clamp255(sum >> 3);
  }
}
}  // namespace

void Smooth3x3(QImage& bmp, int level, const TProgressFunc& progress)
{
  level = std::clamp(level, 1, 3);
  if (level == 1) Filter3x3(bmp, progress, SmoothRow<1>);
  else if (level == 2) Filter3x3(bmp, progress, SmoothRow<2>);
  else Filter3x3(bmp, progress, SmoothRow<3>);
}

namespace {
template <int Centre, int Div>
void SharpenRow(const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint8_t* out, size_t n)
{
  for (size_t i = 3; i + 3 < n; ++i) {
    const int v = (Centre * mid[i] - mid[i - 3] - mid[i + 3] - up[i] - down[i]) / Div;
    out[i] = Clamp255(v);
  }
}
}  // namespace

void Sharpen3x3(QImage& bmp, int level, const TProgressFunc& progress)
{
  level = std::clamp(level, 1, 3);
  if (level == 1) Filter3x3(bmp, progress, SharpenRow<8, 4>);
  else if (level == 2) Filter3x3(bmp, progress, SharpenRow<6, 2>);
  else Filter3x3(bmp, progress, SharpenRow<5, 1>);
}

void DiagonalBlur(QImage& bmp, int d)
{
  Ensure24(bmp);
  const int w = bmp.width(), h = bmp.height();
  if (w <= 0 || h <= 0) return;
  std::vector<int> left(static_cast<size_t>(w)), right(static_cast<size_t>(w));
  for (int x = 0; x < w; ++x) {
    left[size_t(x)] = 3 * std::clamp(x - d, 0, w - 1);
    right[size_t(x)] = 3 * std::clamp(x + d, 0, w - 1);
  }
  for (int y = 0; y < h; ++y) {
    // Rows are read in their current state: pixels already done carry their
    // new values.
    uint8_t* row = bmp.scanLine(y);  // detaches first, so the reads below see the same buffer
    const uint8_t* up = bmp.constScanLine(std::clamp(y - d, 0, h - 1));
    const uint8_t* down = bmp.constScanLine(std::clamp(y + d, 0, h - 1));
    for (int x = 0; x < w; ++x) {
      const int l = left[size_t(x)], r = right[size_t(x)];
      for (int c = 0; c < 3; ++c)
        row[3 * x + c] = uint8_t((down[r + c] + up[r + c] + down[l + c] + up[l + c]) >> 2);
    }
  }
}

void DiagonalBlurPasses(QImage& bmp, int count)
{
  for (int d = count; d >= 1; --d) DiagonalBlur(bmp, d);
}

void CropToContent(QImage& scanned, QImage& other)
{
  Ensure24(scanned);
  Ensure24(other);
  const int w = scanned.width(), h = scanned.height();
  if (w <= 0 || h <= 0) return;
  const int r = scanned.constScanLine(0)[0];
  const int limit = r - 5;
  auto ink = [limit](const uint8_t* p) { return p[0] < limit || p[1] < limit || p[2] < limit; };
  auto rowHasInk = [&](int y) {
    const uint8_t* row = scanned.constScanLine(y);
    for (int x = 0; x < w; ++x)
      if (ink(row + 3 * x)) return true;
    return false;
  };
  int top = h, bottom = -1;
  for (int y = 0; y < h; ++y)
    if (rowHasInk(y)) { top = y; break; }
  for (int y = h - 1; y >= 0; --y)
    if (rowHasInk(y)) { bottom = y; break; }
  const int half = w / 2;
  int left = half, right = half;
  for (int y = top; y <= bottom; ++y) {
    const uint8_t* row = scanned.constScanLine(y);
    int first = half + 1;
    for (int x = 0; x <= half && x < w; ++x)
      if (ink(row + 3 * x)) { first = x; break; }
    left = std::min(left, first);
    int last = half - 1;
    for (int x = w - 1; x >= half; --x)
      if (ink(row + 3 * x)) { last = x; break; }
    right = std::max(right, last);
  }
  left = std::max(left - 3, 0);
  top = std::max(top - 3, 0);
  right = std::min(right + 3, w - 1);
  bottom = std::min(bottom + 3, h - 1);
  // Without any ink the rectangle comes out empty or inverted: both bitmaps
  // are then left as they are (an all-blank picture).
  if (right <= left || bottom <= top) return;
  const QRect rect(left, top, right - left, bottom - top);
  scanned = scanned.copy(rect);
  if (other.size() == QSize(w, h)) other = other.copy(rect);
}

namespace {
QSize FixZero(int64_t rw, int64_t rh, int bw, int bh)
{
  if (rw == 0) return QSize(1, bh);
  if (rh == 0) return QSize(bw, 1);
  return QSize(int(rw), int(rh));
}
}  // namespace

QSize ShrinkToBox(int width, int height, int boxWidth, int boxHeight)
{
  if (width <= boxWidth && height <= boxHeight) return QSize(width, height);
  // A box without area is taken as one pixel, so nothing divides by zero.
  const int64_t bw = std::max(boxWidth, 1), bh = std::max(boxHeight, 1);
  const int64_t rx = int64_t(width) * 100 / bw, ry = int64_t(height) * 100 / bh;
  const int64_t q = std::max<int64_t>(ry >= rx ? ry : rx, 1);
  return FixZero(int64_t(width) * 100 / q, int64_t(height) * 100 / q, boxWidth, boxHeight);
}

QSize FitToBox(int width, int height, int boxWidth, int boxHeight)
{
  const int64_t bw = std::max(boxWidth, 1), bh = std::max(boxHeight, 1);
  if (width > boxWidth || height > boxHeight) {
    const int64_t rx = int64_t(width) * 1000 / bw, ry = int64_t(height) * 1000 / bh;
    const int64_t q = std::max<int64_t>(ry >= rx ? ry : rx, 1);
    return FixZero(int64_t(width) * 1000 / q, int64_t(height) * 1000 / q, boxWidth, boxHeight);
  }
  const int64_t rx = int64_t(width) * 100 / bw, ry = int64_t(height) * 100 / bh;
  // A picture under a hundredth of the box on both sides gives a ratio of 0:
  // it is then taken as 1 percent, which grows it a hundredfold and still
  // keeps it inside the box.
  const int64_t q = std::max<int64_t>(ry >= rx ? ry : rx, 1);
  return QSize(int(int64_t(width) * 100 / q), int(int64_t(height) * 100 / q));
}

bool PointInRect(int x, int y, const TRect& rect)
{
  return rect.Left < x && x < rect.Right && rect.Top < y && y < rect.Bottom;
}

// ---------------------------------------------------------------- files

namespace {
QString ErrnoText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }
}  // namespace

bool OpenRegularFile(const QString& path, QFile& file, QString* error)
{
  const QByteArray p = QFile::encodeName(path);
  // Non-blocking, so a FIFO without a writer does not stop us here.
  const int fd = ::open(p.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (error) *error = QStringLiteral("Can not open \"%1\": %2").arg(path, ErrnoText(errno));
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    if (error) *error = QStringLiteral("\"%1\" is not a regular file").arg(path);
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  if (file.isOpen()) file.close();
  file.setFileName(path);
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    if (error) *error = QStringLiteral("Can not open \"%1\": %2").arg(path, file.errorString());
    return false;
  }
  return true;
}

bool CreateNewFile(const QString& path, QFile& file, QString* error)
{
  const QByteArray p = QFile::encodeName(path);
  const int fd = ::open(p.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) {
    const int err = errno;  // callers look at it (EEXIST: try another name)
    if (error) *error = QStringLiteral("Can not create \"%1\": %2").arg(path, ErrnoText(err));
    errno = err;
    return false;
  }
  if (file.isOpen()) file.close();
  file.setFileName(path);
  if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    ::unlink(p.constData());
    if (error) *error = QStringLiteral("Can not create \"%1\": %2").arg(path, file.errorString());
    return false;
  }
  return true;
}

bool PathTaken(const QString& path)
{
  struct stat st {};
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0 || errno != ENOENT;
}

bool ReplaceFile(const QString& path, const QByteArray& bytes, QString* error)
{
  const QString folder = QFileInfo(path).path();
  const QString name = QFileInfo(path).fileName();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const QString temp = folder + QStringLiteral("/.%1.%2-%3").arg(name).arg(::getpid()).arg(attempt);
    QFile f;
    QString why;
    if (!CreateNewFile(temp, f, &why)) {
      if (errno == EEXIST) continue;
      if (error) *error = why;
      return false;
    }
    const bool written = f.write(bytes) == bytes.size() && f.flush();
    f.close();
    if (!written || ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) != 0) {
      if (error) *error = QStringLiteral("Can not write \"%1\": %2").arg(path, ErrnoText(errno));
      ::unlink(QFile::encodeName(temp).constData());
      return false;
    }
    return true;
  }
  if (error) *error = QStringLiteral("Can not write \"%1\"").arg(path);
  return false;
}
