#include "shell/SingleInstance.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

TSingleInstance::~TSingleInstance()
{
  if (m_fd >= 0) ::close(m_fd);
}

TSingleInstance::TResult TSingleInstance::Lock(const QString& folder, const QString& programName, QString& error)
{
  if (m_fd >= 0) return Acquired;
  const QString path = folder + '/' + programName + QStringLiteral(".lock");
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                        0600);
  if (fd < 0) {
    error = QStringLiteral("The lock file \"%1\" can not be used: %2.")
                .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    return Failed;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return Running;
    error = QStringLiteral("The lock file \"%1\" can not be locked: %2.")
                .arg(path, QString::fromLocal8Bit(std::strerror(err)));
    return Failed;
  }
  // Our process number, for whoever looks; the lock itself is the flock.
  const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
  if (::ftruncate(fd, 0) == 0 && ::write(fd, pid.constData(), size_t(pid.size())) < 0) {
    // Only informative: the lock holds without it.
  }
  m_fd = fd;
  return Acquired;
}

bool TSingleInstance::TryLock(const QString& folder, const QString& programName)
{
  QString error;
  return Lock(folder, programName, error) == Acquired;
}
