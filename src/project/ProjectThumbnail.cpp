#include "project/ProjectThumbnail.h"

#include "project/OutputFile.h"
#include "project/ProjectCover.h"
#include "project/WorkFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <memory>
#include <new>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define JKT_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define JKT_UNDER_SANITIZER 1
#endif
#endif

namespace {

const char* const kUsage = "usage: jacketeer --thumbnail SIZE PROJECT.jkp OUT.png   (SIZE 128 to 1024)";

void PrintError(const QString& text) { std::fprintf(stderr, "jacketeer: %s\n", text.toLocal8Bit().constData()); }

// The signals that end a thumbnail run early: a stop from the file manager
// or the terminal, the processor-time limit, and the wake-up of a run that
// finished.
constexpr int kWakeSignal = SIGUSR1;
sigset_t StopSignals()
{
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGXCPU, kWakeSignal}) sigaddset(&set, s);
  return set;
}

// How a stopped run ends: the watchdog sends kEndSignal to the main thread,
// whose handler removes what the run made and ends the process with
// g_endStatus, or by g_endSignal as if that signal had not been caught. The
// main thread is the one that makes folders; once it is in the handler it
// can no longer make one again behind the removal.
constexpr int kEndSignal = SIGUSR2;
std::atomic<int> g_endStatus{1};
std::atomic<int> g_endSignal{0};

void EndBySignal(int signal)
{
  std::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
}

void EndInMainThread(int)
{
  RunSignalCleanups();
  if (const int signal = g_endSignal.load(); signal > 0) EndBySignal(signal);
  _exit(g_endStatus.load());
}

// Watches a run from its own thread. The stop signals are blocked in every
// thread of the process, so they wait here instead of interrupting the work;
// when one comes, or the time is up, the main thread is made to remove the
// temporary folder and end the process at once.
class TWatchdog {
public:
  TWatchdog(QString folder, int seconds) : m_folder(std::move(folder)), m_seconds(seconds), m_main(pthread_self())
  {
    m_cleanupSlot = AddSignalCleanup(m_folder, true);
    struct sigaction sa {};
    sa.sa_handler = EndInMainThread;
    sigfillset(&sa.sa_mask);
    sigaction(kEndSignal, &sa, &m_previous);
    m_thread = std::thread([this] { Watch(); });
  }
  ~TWatchdog()
  {
    m_done = true;
    pthread_kill(m_thread.native_handle(), kWakeSignal);
    m_thread.join();
    sigaction(kEndSignal, &m_previous, nullptr);
    DropSignalCleanup(m_cleanupSlot);
  }
  TWatchdog(const TWatchdog&) = delete;
  TWatchdog& operator=(const TWatchdog&) = delete;

private:
  void Watch()
  {
    const sigset_t set = StopSignals();
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += m_seconds;
    for (;;) {
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      timespec left{deadline.tv_sec - now.tv_sec, deadline.tv_nsec - now.tv_nsec};
      if (left.tv_nsec < 0) {
        left.tv_nsec += 1000000000L;
        --left.tv_sec;
      }
      if (left.tv_sec < 0) return Stop(QStringLiteral("The thumbnail took longer than %1 seconds.").arg(m_seconds), 1);
      siginfo_t info{};
      const int sig = sigtimedwait(&set, &info, &left);
      if (m_done) return;
      if (sig == SIGXCPU) return Stop(QStringLiteral("The thumbnail used too much processor time."), 1);
      if (sig > 0 && sig != kWakeSignal) return Stop(QString(), 0, sig);
    }
  }

  // Ends the process: with `status`, or, stopped by `signal`, by that signal.
  [[noreturn]] void Stop(const QString& why, int status, int signal = 0)
  {
    if (!why.isEmpty()) PrintError(why);
    std::fflush(stderr);
    g_endStatus = status;
    g_endSignal = signal;
    pthread_kill(m_main, kEndSignal);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    // The main thread did not take the signal: the folder is removed from
    // here, again after every pass in which the work made something in it.
    for (int pass = 0; pass < 1000 && !RemoveFolderTree(m_folder); ++pass) std::this_thread::yield();
    RunSignalCleanups();
    if (signal > 0) EndBySignal(signal);
    std::_Exit(signal > 0 ? 128 + signal : status);
  }

  const QString m_folder;
  const int m_seconds;
  const pthread_t m_main;
  int m_cleanupSlot = -1;
  struct sigaction m_previous {};
  std::atomic<bool> m_done{false};
  std::thread m_thread;
};

void ApplyResourceLimits(const TThumbnailLimits& limits)
{
  auto cap = [](int resource, rlim_t soft, rlim_t hard) {
    rlimit old{};
    if (getrlimit(resource, &old) != 0) return;
    rlimit r{std::min(soft, old.rlim_max), std::min(hard, old.rlim_max)};
    setrlimit(resource, &r);
  };
#ifndef JKT_UNDER_SANITIZER
  // The sanitizers reserve terabytes of address space for themselves.
  cap(RLIMIT_AS, rlim_t(limits.AddressSpace), rlim_t(limits.AddressSpace));
#endif
  // The soft limit raises SIGXCPU, which the watchdog takes; the hard one
  // ends the process even if the watchdog could not.
  cap(RLIMIT_CPU, rlim_t(limits.CpuSeconds), rlim_t(limits.CpuSeconds + 5));
  // A larger write fails with EFBIG and is reported like any failed write.
  cap(RLIMIT_FSIZE, rlim_t(limits.FileSize), rlim_t(limits.FileSize));
  std::signal(SIGXFSZ, SIG_IGN);
  // Every thread would otherwise reserve an arena of its own.
  mallopt(M_ARENA_MAX, 2);
}

// Renders the thumbnail with every file of the work going into `folder`.
bool RenderInFolder(const QString& project, int size, const QString& folder, QImage& thumbnail, QString& error)
{
  const QString work = folder + QStringLiteral("/work");
  if (!QDir().mkdir(work, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
    error = QStringLiteral("Can not create a work folder in \"%1\".").arg(folder);
    return false;
  }
  QImage cover;
  if (!RenderProjectPrintCover(project, work, cover, error)) return false;
  thumbnail = cover.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                  .convertToFormat(QImage::Format_BGR888);
  if (thumbnail.isNull()) {
    error = QStringLiteral("There is not enough memory for the thumbnail.");
    return false;
  }
  return true;
}

// A new private folder for one run, inside `parent`.
bool MakeRunFolder(const QString& parent, QString& folder, QString& error)
{
  QTemporaryDir dir(parent + QStringLiteral("/jacketeer-thumbnail-XXXXXX"));
  if (!dir.isValid()) {
    error = QStringLiteral("Can not create a temporary folder in \"%1\": %2").arg(parent, dir.errorString());
    return false;
  }
  dir.setAutoRemove(false);
  folder = dir.path();
  return true;
}

}  // namespace

bool IsThumbnailCommand(int argc, char** argv)
{
  return argc >= 2 && argv[1] && std::strcmp(argv[1], "--thumbnail") == 0;
}

bool ParseThumbnailSize(const QString& text, int& size, QString& error)
{
  bool ok = false;
  const int v = text.toInt(&ok);
  if (!ok || v < kThumbnailMinSize || v > kThumbnailMaxSize) {
    error = QStringLiteral("The thumbnail size \"%1\" is not a number from %2 to %3.")
                .arg(text)
                .arg(kThumbnailMinSize)
                .arg(kThumbnailMaxSize);
    return false;
  }
  size = v;
  return true;
}

bool CheckThumbnailInput(const QString& project, int64_t maxSize, QString& error)
{
  struct stat st {};
  if (::stat(QFile::encodeName(project).constData(), &st) != 0) {
    error = QStringLiteral("Can not open \"%1\": %2").arg(project, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = QStringLiteral("\"%1\" is not a regular file.").arg(project);
    return false;
  }
  if (st.st_size > maxSize) {
    error = QStringLiteral("\"%1\" is too large for a thumbnail (%2 MB).").arg(project).arg(st.st_size >> 20);
    return false;
  }
  return true;
}

bool RenderProjectThumbnail(const QString& project, int size, const QString& tempParent, QImage& thumbnail,
                            QString& error)
{
  QString folder;
  if (!MakeRunFolder(tempParent, folder, error)) return false;
  const bool ok = RenderInFolder(project, size, folder, thumbnail, error);
  RemoveFolderTree(folder);
  return ok;
}

bool WriteThumbnailPng(const QImage& thumbnail, const QString& output, const QString& project, QString& error)
{
  TOutputFile out(output, {project});
  if (!out.Open(error)) return false;
  QImageWriter writer(&out.File(), "png");
  if (!writer.write(thumbnail)) {
    error = QStringLiteral("Can not write \"%1\": %2").arg(output, writer.errorString());
    return false;
  }
  return out.Commit(error);
}

int ProjectThumbnail(int argc, char** argv, const TThumbnailLimits& limits)
{
  int size = 0;
  QString error;
  if (!IsThumbnailCommand(argc, argv) || argc != 5 || !ParseThumbnailSize(QString::fromLocal8Bit(argv[2]), size, error)) {
    if (!error.isEmpty()) PrintError(error);
    std::fprintf(stderr, "%s\n", kUsage);
    return 2;
  }
  const QString project = QString::fromLocal8Bit(argv[3]);
  const QString output = QString::fromLocal8Bit(argv[4]);

  // Before any other thread exists, so that every thread inherits the mask.
  const sigset_t stops = StopSignals();
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  ApplyResourceLimits(limits);

  QString folder;
  if (!MakeRunFolder(QDir::tempPath(), folder, error)) {
    PrintError(error);
    return 1;
  }
  int status = 1;
  {
    TWatchdog watchdog(folder, limits.WallSeconds);
    try {
      std::unique_ptr<QGuiApplication> app;
      if (!QGuiApplication::instance()) {
        // No window and no display: the offscreen platform draws the text.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt makes a runtime folder of its own when the session names none.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
          const QString runtime = folder + QStringLiteral("/runtime");
          if (QDir().mkdir(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        }
        static int appArgc = 1;
        static char* appArgv[] = {argv[0], nullptr};
        app = std::make_unique<QGuiApplication>(appArgc, appArgv);
      }
      QImage thumbnail;
      if (CheckThumbnailInput(project, limits.ProjectSize, error) &&
          RenderInFolder(project, size, folder, thumbnail, error) &&
          WriteThumbnailPng(thumbnail, output, project, error))
        status = 0;
    } catch (const std::bad_alloc&) {
      error = QStringLiteral("There is not enough memory for the thumbnail of \"%1\".").arg(project);
    }
    if (status != 0) PrintError(error);
    RemoveFolderTree(folder);
  }
  return status;
}
