#pragma once
// Hands a project file from a second start of the program to the copy that
// already runs. The running copy listens on the local socket
// "<temporary folder>/<program name>.open"; a start with a file that finds
// the single-instance lock taken connects, writes the file's full path
// (the bytes of the local file name, then a NUL byte) and waits for the
// answer "OK\n". The running copy brings its window to the front and opens
// the file as its Open command does, the unsaved-changes question included;
// while one of its modal windows is open the file waits until it closes.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QLocalServer;
class QTimer;
class TfrmMain;

class TFileHandOver : public QObject {
  Q_OBJECT

public:
  explicit TFileHandOver(QObject* parent = nullptr);
  ~TFileHandOver() override;

  // The socket's path for a temporary folder and a program name.
  static QString SocketPath(const QString& folder, const QString& programName);

  // Starts listening (only the copy that holds the single-instance lock
  // does; a socket left behind by a copy that ended is replaced).
  bool Listen(const QString& folder, const QString& programName, QString& error);

  // Sends `file` to the running copy; tries to connect for up to
  // `timeoutMs` (the copy may still be starting) and waits as long for its
  // answer. False with a reason when no copy took the file.
  static bool Send(const QString& folder, const QString& programName, const QString& file, int timeoutMs,
                   QString& error);

  // The window that opens the files (with TfrmMain::OpenFile).
  void AttachTo(TfrmMain* window);

  // Opens `file` in the window as soon as no modal window is open: a file
  // received, or the one given on the command line.
  void Deliver(const QString& file);

signals:
  // A file came in over the socket.
  void FileReceived(const QString& file);
  // The window has gone through opening `file` (opened, refused with a
  // message, or given up by the user).
  void FileHandled(const QString& file);

private:
  void AcceptConnections();
  void OpenPending();
  void BringToFront();

  QLocalServer* m_server = nullptr;
  QPointer<TfrmMain> m_window;
  QStringList m_pending;
  QTimer* m_retry = nullptr;
  bool m_opening = false;
};
