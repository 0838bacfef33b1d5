#include "imagelib/MakeThumbnail.h"

#include "imagelib/ImageLoader.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <chrono>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

uint64_t PackRange(int first, int last)
{
  return uint64_t(uint32_t(first)) << 32 | uint32_t(last);
}

}  // namespace

// ---------------------------------------------------------------- listing

bool ListPictureFiles(const QString& folder, std::vector<TListedFile>& files, const std::atomic<bool>* stop)
{
  files.clear();
  const QByteArray path = QFile::encodeName(folder);
  if (path.isEmpty()) return false;
  DIR* dir = ::opendir(path.constData());
  if (!dir) return false;
  const int fd = ::dirfd(dir);
  while (const dirent* e = ::readdir(dir)) {
    if (stop && stop->load(std::memory_order_relaxed)) break;
    const QByteArray raw(e->d_name);
    if (raw == "." || raw == "..") continue;
    if (e->d_type != DT_UNKNOWN && e->d_type != DT_REG && e->d_type != DT_LNK) continue;
    const QString name = QFile::decodeName(raw);
    if (!IsImageFile(name)) continue;
    struct stat st {};
    // Links are followed: a link to a picture is a picture; a dangling link,
    // or one to a FIFO or a device, is not listed.
    if (::fstatat(fd, e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
    TListedFile f;
    f.Name = name;
    f.RawName = raw;
    f.Time = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    f.Size = qint64(st.st_size);
    files.push_back(std::move(f));
  }
  ::closedir(dir);
  return true;
}

int CompareNatural(const QString& a, const QString& b)
{
  qsizetype i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      // Runs of digits by value: leading zeros skipped, then the longer run
      // is the larger number, else the first differing digit decides.
      qsizetype ei = i, ej = j;
      while (ei < a.size() && a[ei].isDigit()) ++ei;
      while (ej < b.size() && b[ej].isDigit()) ++ej;
      qsizetype si = i, sj = j;
      while (si + 1 < ei && a[si] == QLatin1Char('0')) ++si;
      while (sj + 1 < ej && b[sj] == QLatin1Char('0')) ++sj;
      if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
      for (; si < ei; ++si, ++sj)
        if (a[si] != b[sj]) return a[si].digitValue() < b[sj].digitValue() ? -1 : 1;
      i = ei;
      j = ej;
      continue;
    }
    const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
    if (ca != cb) return ca.unicode() < cb.unicode() ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

void SortByName(std::vector<TListedFile>& files)
{
  std::stable_sort(files.begin(), files.end(), [](const TListedFile& a, const TListedFile& b) {
    const int c = CompareNatural(a.Name, b.Name);
    if (c != 0) return c < 0;
    return a.RawName < b.RawName;  // same text (case, or bytes that are not text), different files
  });
}

// ---------------------------------------------------------------- worker

TMakeThumbnailThread::TMakeThumbnailThread(const QString& folder, std::vector<TKnownFile> known, QObject* parent)
    : QThread(parent), m_folder(folder), m_known(std::move(known)), m_range(PackRange(0, -1))
{
}

TMakeThumbnailThread::~TMakeThumbnailThread()
{
  Terminate();
  wait();
  // The worker's last write is its final notice, made under the mail lock;
  // taking that lock once more shows this order to thread checkers as well,
  // which do not see inside Qt's wait().
  std::lock_guard<std::mutex> lock(m_mailLock);
}

void TMakeThumbnailThread::SetRange(int first, int last)
{
  m_range.store(PackRange(first, last), std::memory_order_release);
}

void TMakeThumbnailThread::Terminate()
{
  m_stop.store(true, std::memory_order_release);
  std::lock_guard<std::mutex> lock(m_restLock);
  m_restWake.notify_all();
}

void TMakeThumbnailThread::SetGentle(bool gentle)
{
  m_gentle.store(gentle, std::memory_order_release);
  if (!gentle) {
    std::lock_guard<std::mutex> lock(m_restLock);
    m_restWake.notify_all();
  }
}

std::vector<TThumbnailNotice> TMakeThumbnailThread::TakeNotices()
{
  std::vector<TThumbnailNotice> out;
  std::lock_guard<std::mutex> lock(m_mailLock);
  out.swap(m_mail);
  return out;
}

void TMakeThumbnailThread::Post(TThumbnailNotice&& notice)
{
  bool wasEmpty;
  {
    std::lock_guard<std::mutex> lock(m_mailLock);
    wasEmpty = m_mail.empty();
    m_mail.push_back(std::move(notice));
  }
  // One wake-up per batch: the grid takes everything that has arrived.
  if (wasEmpty) emit NoticesReady();
}

void TMakeThumbnailThread::Rest(int64_t nanoseconds)
{
  std::unique_lock<std::mutex> lock(m_restLock);
  m_restWake.wait_for(lock, std::chrono::nanoseconds(nanoseconds),
                      [this] { return Terminating() || !m_gentle.load(std::memory_order_acquire); });
}

void TMakeThumbnailThread::run()
{
  std::vector<TListedFile> files;
  std::vector<bool> made;
  Scan(files, made);
  if (!Terminating() && !files.empty()) Make(files, made);
  TThumbnailNotice end;
  end.Kind = TThumbnailNotice::Ended;
  Post(std::move(end));
}

void TMakeThumbnailThread::Scan(std::vector<TListedFile>& files, std::vector<bool>& made)
{
  ListPictureFiles(m_folder, files, &m_stop);  // a folder that can not be read has no pictures
  if (Terminating()) {
    files.clear();
    return;
  }
  SortByName(files);

  QHash<QByteArray, int> known;
  known.reserve(qsizetype(m_known.size()));
  for (size_t i = 0; i < m_known.size(); ++i) known.insert(m_known[i].RawName, int(i));

  TThumbnailNotice n;
  n.Kind = TThumbnailNotice::Scanned;
  n.From.reserve(files.size());
  n.Keep.reserve(files.size());
  made.assign(files.size(), false);
  for (size_t k = 0; k < files.size(); ++k) {
    const TListedFile& f = files[k];
    const auto it = known.constFind(f.RawName);
    const int from = it == known.constEnd() ? -1 : it.value();
    const bool keep = from >= 0 && m_known[size_t(from)].Made && m_known[size_t(from)].Size == f.Size &&
                      m_known[size_t(from)].Time == f.Time;
    n.From.push_back(from);
    n.Keep.push_back(keep);
    made[k] = keep;
    n.Total += f.Size;
  }
  n.Files = files;
  Post(std::move(n));
}

void TMakeThumbnailThread::Make(const std::vector<TListedFile>& files, std::vector<bool>& made)
{
  const int count = int(files.size());
  std::vector<bool> done(made);
  int madeCount = int(std::count(made.begin(), made.end(), true));
  int prefix = -1;  // every index up to here has been visited
  while (prefix + 1 < count && done[size_t(prefix + 1)]) ++prefix;
  int actedFirst = INT32_MIN;
  int j = 0;
  const auto keepGoing = [this](int) { return !Terminating(); };

  while (prefix < count - 1) {
    const uint64_t range = m_range.load(std::memory_order_acquire);
    const int first = int(uint32_t(range >> 32)), last = int(uint32_t(range));
    if (first != actedFirst) {
      actedFirst = first;
      j = std::clamp(first, 0, count - 1);
    }
    if (!done[size_t(j)]) {
      done[size_t(j)] = true;
      if (Terminating()) return;
      const TListedFile& f = files[size_t(j)];
      TThumbnailNotice n;
      n.Index = j;
      const auto started = std::chrono::steady_clock::now();
      // A name that is not valid text can not be opened through the name
      // the rest of the program sees, so it is shown as unreadable.
      const bool usable = QFile::encodeName(f.Name) == f.RawName;
      int width = 0, height = 0, bits = 0;
      QImage bmp;
      if (usable && LoadImageFile(m_folder + f.Name, bmp, ThumbBoxWidth, ThumbBoxHeight, &width, &height, &bits,
                                  keepGoing, keepGoing) && !bmp.isNull()) {
        n.Kind = TThumbnailNotice::Made;
        n.Bitmap = std::move(bmp);
        n.Width = width;
        n.Height = height;
        n.BitCount = uint8_t(bits);
        made[size_t(j)] = true;
      } else {
        n.Kind = TThumbnailNotice::Failed;
      }
      ++madeCount;
      // A thumbnail cut short by a stop is incomplete: it is not handed on,
      // so a later refresh of the same folder makes it again.
      if (Terminating()) return;
      n.Percent = int(int64_t(madeCount) * 100 / count);
      Post(std::move(n));
      if (m_gentle.load(std::memory_order_acquire)) {
        const auto spent = std::chrono::steady_clock::now() - started;
        Rest(std::min<int64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(spent).count(), 100000000));
      }
    }
    if (Terminating()) return;
    while (prefix + 1 < count && done[size_t(prefix + 1)]) ++prefix;
    ++j;
    if (j > last || j >= count) j = prefix + 1;
    if (j >= count) j = count - 1;
  }
}
