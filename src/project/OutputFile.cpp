#include "project/OutputFile.h"

#include "canvas/Functions.h"
#include "project/WorkFolder.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

QString ErrnoText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// ---------------------------------------------------------------- cleanup on signals
//
// What must go when a signal ends the process: fixed slots of encoded paths,
// filled before they are marked used, so that the removal reads only complete
// paths and calls only async-signal-safe functions.

constexpr int kSlots = 8;
constexpr size_t kPathMax = 4096;
char g_paths[kSlots][kPathMax];
std::atomic<int> g_used[kSlots];  // 0 free, 1 a file, 2 a folder
std::atomic<bool> g_slotTaken[kSlots];

// Empties the folder open as `fd` with system calls only: files and links are
// unlinked, never followed; folders within are emptied the same way (a few
// levels deep) and removed. Reading a folder while entries leave it may skip
// some, so the folder is read again until a reading finds nothing.
void ClearFolderAt(int fd, int depth)
{
  alignas(8) char buf[4096];
  for (int pass = 0; pass < 4; ++pass) {
    bool found = false;
    ::lseek(fd, 0, SEEK_SET);
    for (;;) {
      const long n = ::syscall(SYS_getdents64, fd, buf, sizeof buf);
      if (n <= 0) break;
      for (long at = 0; at < n;) {
        // struct linux_dirent64: ino (8), off (8), reclen (2), type (1), name.
        unsigned short reclen = 0;
        std::memcpy(&reclen, buf + at + 16, sizeof reclen);
        const char* name = buf + at + 19;
        at += reclen;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        found = true;
        if (::unlinkat(fd, name, 0) == 0 || errno != EISDIR || depth >= 4) continue;
        const int sub = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) continue;
        ClearFolderAt(sub, depth + 1);
        ::close(sub);
        ::unlinkat(fd, name, AT_REMOVEDIR);
      }
    }
    if (!found) break;
  }
}

void RemoveFolderAt(const char* path)
{
  const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    ClearFolderAt(fd, 0);
    ::close(fd);
  }
  ::rmdir(path);
}

void CleanUpAndEnd(int sig)
{
  RunSignalCleanups();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];
struct sigaction g_previousPipe;

mode_t CurrentUmask()
{
  const mode_t m = ::umask(0);
  ::umask(m);
  return m;
}

// Same file as any of the inputs (device and inode, so links, hard links and
// other spellings of one file all meet).
bool IsAnInput(const struct stat& out, const QStringList& inputs)
{
  for (const QString& in : inputs) {
    struct stat st {};
    if (::stat(QFile::encodeName(in).constData(), &st) == 0 && st.st_dev == out.st_dev && st.st_ino == out.st_ino)
      return true;
  }
  return false;
}

bool WriteAllTo(int fd, const char* data, qint64 size)
{
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size_t(std::min<qint64>(size, 1 << 20)));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= n;
  }
  return true;
}

}  // namespace

int AddSignalCleanup(const QString& path, bool folder)
{
  const QByteArray p = QFile::encodeName(path);
  if (size_t(p.size()) >= kPathMax) return -1;
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (!g_slotTaken[i].compare_exchange_strong(expected, true)) continue;
    std::memcpy(g_paths[i], p.constData(), size_t(p.size()) + 1);
    g_used[i].store(folder ? 2 : 1);
    return i;
  }
  return -1;
}

void DropSignalCleanup(int slot)
{
  if (slot < 0) return;
  g_used[slot].store(0);
  g_slotTaken[slot].store(false);
}

void RunSignalCleanups()
{
  for (int i = 0; i < kSlots; ++i) {
    const int kind = g_used[i].load();
    if (kind == 1) ::unlink(g_paths[i]);
    else if (kind == 2) RemoveFolderAt(g_paths[i]);
  }
}

// ---------------------------------------------------------------- TOutputFile

TOutputFile::TOutputFile(QString path, QStringList inputs)
    : m_path(std::move(path)), m_inputs(std::move(inputs))
{
}

TOutputFile::~TOutputFile() { Discard(); }

void TOutputFile::Discard()
{
  if (m_temp.isOpen()) m_temp.close();
  if (!m_tempPath.isEmpty()) ::unlink(QFile::encodeName(m_tempPath).constData());
  m_tempPath.clear();
  DropSignalCleanup(m_cleanupSlot);
  m_cleanupSlot = -1;
  m_open = false;
}

bool TOutputFile::Open(QString& error)
{
  Discard();
  if (m_path.isEmpty()) {
    error = QStringLiteral("No output file was named.");
    return false;
  }
  const QByteArray p = QFile::encodeName(m_path);
  struct stat lst {}, st {};
  const bool exists = ::lstat(p.constData(), &lst) == 0;
  m_stream = false;
  m_target = m_path;
  m_mode = 0666 & ~CurrentUmask();
  QString tempFolder;
  if (exists) {
    if (::stat(p.constData(), &st) != 0) {
      error = QStringLiteral("\"%1\" is a link to a file that does not exist; it is not written.").arg(m_path);
      return false;
    }
    if (IsAnInput(st, m_inputs)) {
      error = QStringLiteral("\"%1\" is the project itself; it is not overwritten.").arg(m_path);
      return false;
    }
    if (S_ISREG(st.st_mode)) {
      m_target = QFileInfo(m_path).canonicalFilePath();
      if (m_target.isEmpty()) m_target = m_path;
      m_mode = st.st_mode & 07777;
      tempFolder = QFileInfo(m_target).absolutePath();
    } else if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
      m_stream = true;
      tempFolder = TemporaryFolderPath();
      if (!EnsurePrivateFolder(tempFolder, error)) return false;
    } else {
      error = QStringLiteral("\"%1\" is not a file that can be written (%2); it is left as it is.")
                  .arg(m_path, S_ISDIR(st.st_mode) ? QStringLiteral("a folder") : QStringLiteral("a special file"));
      return false;
    }
  } else {
    const QFileInfo info(m_path);
    if (!QFileInfo(info.absolutePath()).isDir()) {
      error = QStringLiteral("Can not write \"%1\": the folder \"%2\" does not exist.").arg(m_path, info.absolutePath());
      return false;
    }
    tempFolder = info.absolutePath();
  }

  const QString base = QFileInfo(m_target).fileName();
  for (int attempt = 0; attempt < 1000 && m_tempPath.isEmpty(); ++attempt) {
    const QString candidate =
        tempFolder + QStringLiteral("/.%1.%2-%3.part").arg(base.left(100)).arg(::getpid()).arg(attempt);
    QString why;
    if (CreateNewFile(candidate, m_temp, &why)) {
      m_tempPath = candidate;
    } else if (errno != EEXIST) {
      error = QStringLiteral("Can not write \"%1\": %2").arg(m_path, why);
      return false;
    }
  }
  if (m_tempPath.isEmpty()) {
    error = QStringLiteral("Can not write \"%1\": no temporary name is free.").arg(m_path);
    return false;
  }
  m_cleanupSlot = AddSignalCleanup(m_tempPath, false);
  m_open = true;
  return true;
}

bool TOutputFile::Commit(QString& error)
{
  if (!m_open) {
    error = QStringLiteral("Can not write \"%1\": the output was not opened.").arg(m_path);
    return false;
  }
  const bool flushed = m_temp.isOpen() ? m_temp.flush() : true;
  if (m_temp.isOpen()) m_temp.close();
  if (!flushed) {
    error = QStringLiteral("Can not write \"%1\": %2").arg(m_path, m_temp.errorString());
    Discard();
    return false;
  }
  const QByteArray temp = QFile::encodeName(m_tempPath);
  if (!m_stream) {
    ::chmod(temp.constData(), m_mode);
    if (::rename(temp.constData(), QFile::encodeName(m_target).constData()) != 0) {
      error = QStringLiteral("Can not write \"%1\": %2").arg(m_path, ErrnoText(errno));
      Discard();
      return false;
    }
    m_tempPath.clear();
    Discard();
    return true;
  }

  // A stream: a FIFO without a reader would block for ever, so it is opened
  // without waiting and refused.
  const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = errno == ENXIO ? QStringLiteral("Nobody reads from \"%1\"; nothing was written.").arg(m_path)
                           : QStringLiteral("Can not write \"%1\": %2").arg(m_path, ErrnoText(errno));
    Discard();
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  QFile in;
  bool ok = OpenRegularFile(m_tempPath, in);
  QString why;
  while (ok && !in.atEnd()) {
    const QByteArray chunk = in.read(1 << 20);
    if (chunk.isEmpty() || !WriteAllTo(fd, chunk.constData(), chunk.size())) {
      why = ErrnoText(errno);
      ok = false;
    }
  }
  ::close(fd);
  if (!ok) error = QStringLiteral("Can not write \"%1\": %2").arg(m_path, why);
  Discard();
  return ok;
}

bool WriteOutputFile(const QString& path, const QByteArray& bytes, const QStringList& inputs, QString& error)
{
  TOutputFile out(path, inputs);
  if (!out.Open(error)) return false;
  if (out.File().write(bytes) != bytes.size()) {
    error = QStringLiteral("Can not write \"%1\": %2").arg(path, out.File().errorString());
    return false;
  }
  return out.Commit(error);
}

// ---------------------------------------------------------------- TCommandLineJob

TCommandLineJob::TCommandLineJob() = default;

TCommandLineJob::~TCommandLineJob()
{
  if (!m_folder.isEmpty()) RemoveFolderTree(m_folder);
  DropSignalCleanup(m_cleanupSlot);
  if (m_folderFd >= 0) ::close(m_folderFd);
  if (m_handlers) {
    for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
    ::sigaction(SIGPIPE, &g_previousPipe, nullptr);
  }
}

void TCommandLineJob::RemoveEndedJobFolders(const QString& temporaryFolder)
{
  const QStringList names =
      QDir(temporaryFolder).entryList({QStringLiteral("export-*")}, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks);
  for (const QString& name : names) {
    const QString path = temporaryFolder + '/' + name;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    // A running job holds its folder locked; a lock we get means it has ended.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) RemoveFolderTree(path);
    ::close(fd);
  }
}

bool TCommandLineJob::Begin(QString& error)
{
  const QString temp = TemporaryFolderPath();
  if (!EnsurePrivateFolder(temp, error)) return false;
  RemoveEndedJobFolders(temp);

  QByteArray templ = QFile::encodeName(temp + QStringLiteral("/export-XXXXXX"));
  if (!::mkdtemp(templ.data())) {
    error = QStringLiteral("Can not create a work folder in \"%1\": %2").arg(temp, ErrnoText(errno));
    return false;
  }
  m_folder = QFile::decodeName(templ);
  m_folderFd = ::open(templ.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (m_folderFd >= 0) ::flock(m_folderFd, LOCK_EX | LOCK_NB);
  m_cleanupSlot = AddSignalCleanup(m_folder, true);

  struct sigaction sa {};
  sa.sa_handler = CleanUpAndEnd;
  sigemptyset(&sa.sa_mask);
  for (int s : kSignals) sigaddset(&sa.sa_mask, s);
  for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &sa, &g_previous[i]);
  // A reader that goes away makes the write fail with a message instead of
  // ending the process.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &g_previousPipe);
  m_handlers = true;
  return true;
}
