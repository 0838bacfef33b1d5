#include "project/WorkFolder.h"

#include "canvas/CoverDocument.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString ErrnoText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Opens a folder without following a link in its last component.
int OpenFolderNoFollow(int dirFd, const char* name)
{
  return ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Removes everything inside the open folder `fd` (closed here).
bool ClearFolder(int fd)
{
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return false;
  }
  bool ok = true;
  // Names are gathered first: removing while reading a folder may skip entries.
  QList<QByteArray> names;
  while (dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    names << QByteArray(e->d_name);
  }
  const int dfd = ::dirfd(dir);
  for (const QByteArray& name : names) {
    struct stat st {};
    if (::fstatat(dfd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      ok = false;
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      const int sub = OpenFolderNoFollow(dfd, name.constData());
      if (sub < 0 || !ClearFolder(sub)) ok = false;
      if (::unlinkat(dfd, name.constData(), AT_REMOVEDIR) != 0) ok = false;
    } else if (::unlinkat(dfd, name.constData(), 0) != 0) {
      ok = false;  // links, files and everything else are unlinked, never followed
    }
  }
  ::closedir(dir);
  return ok;
}

}  // namespace

QString TemporaryFolderPath()
{
  QString base = QDir::tempPath();
  while (base.size() > 1 && base.endsWith('/')) base.chop(1);
  return base + QStringLiteral("/jacketeer-%1").arg(::getuid());
}

QString WorkFolderPath() { return TemporaryFolderPath() + QStringLiteral("/JKTTemp"); }

bool EnsurePrivateFolder(const QString& path, QString& error)
{
  const QByteArray p = QFile::encodeName(path);
  if (::mkdir(p.constData(), 0700) != 0 && errno != EEXIST) {
    error = QStringLiteral("Can not create \"%1\": %2").arg(path, ErrnoText(errno));
    return false;
  }
  const int fd = OpenFolderNoFollow(AT_FDCWD, p.constData());
  if (fd < 0) {
    error = errno == ELOOP || errno == ENOTDIR
                ? QStringLiteral("\"%1\" is not a folder (a link or a file is in its place)").arg(path)
                : QStringLiteral("Can not open \"%1\": %2").arg(path, ErrnoText(errno));
    return false;
  }
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  if (!ok) {
    error = QStringLiteral("\"%1\" is not a folder").arg(path);
  } else if (st.st_uid != ::getuid()) {
    error = QStringLiteral("\"%1\" belongs to another user").arg(path);
    ok = false;
  } else if ((st.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) {
    error = QStringLiteral("Can not make \"%1\" private: %2").arg(path, ErrnoText(errno));
    ok = false;
  }
  ::close(fd);
  return ok;
}

bool CreateWorkFolder(QString& workFolder, QString& error)
{
  const QString temp = TemporaryFolderPath();
  if (!EnsurePrivateFolder(temp, error)) return false;
  const QString work = WorkFolderPath();
  if (!EnsurePrivateFolder(work, error)) return false;
  // Whatever an earlier run left (files, links planted while it stood open)
  // goes: links are removed, never followed.
  const int fd = OpenFolderNoFollow(AT_FDCWD, QFile::encodeName(work).constData());
  if (fd < 0 || !ClearFolder(fd)) {
    error = QStringLiteral("Can not empty \"%1\"").arg(work);
    return false;
  }
  workFolder = work;
  return true;
}

bool AttachWorkFolder(TCoverDocument& document, QString& error)
{
  QString work;
  if (!CreateWorkFolder(work, error)) return false;
  document.SetWorkFolder(work);
  return true;
}

bool RemoveFolderTree(const QString& path)
{
  const QByteArray p = QFile::encodeName(path);
  struct stat st {};
  if (::lstat(p.constData(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return false;  // a link or a file: not ours to delete
  const int fd = OpenFolderNoFollow(AT_FDCWD, p.constData());
  if (fd < 0) return false;
  const bool cleared = ClearFolder(fd);
  return ::rmdir(p.constData()) == 0 && cleared;
}

bool RemoveWorkFolder() { return RemoveFolderTree(WorkFolderPath()); }
