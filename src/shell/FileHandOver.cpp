#include "shell/FileHandOver.h"

#include "shell/Main.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <memory>

namespace {

// A path longer than this is no file name.
constexpr qsizetype kMaxMessage = 16384;
// A client that says nothing is dropped after this long.
constexpr int kClientTimeoutMs = 5000;
// How often waiting files look whether the modal window has closed.
constexpr int kRetryMs = 250;

const QByteArray kAnswer = QByteArrayLiteral("OK\n");

}  // namespace

TFileHandOver::TFileHandOver(QObject* parent) : QObject(parent)
{
  m_retry = new QTimer(this);
  m_retry->setSingleShot(true);
  m_retry->setInterval(kRetryMs);
  connect(m_retry, &QTimer::timeout, this, &TFileHandOver::OpenPending);
}

TFileHandOver::~TFileHandOver()
{
  if (m_server) m_server->close();
}

QString TFileHandOver::SocketPath(const QString& folder, const QString& programName)
{
  return folder + '/' + programName + QStringLiteral(".open");
}

bool TFileHandOver::Listen(const QString& folder, const QString& programName, QString& error)
{
  const QString path = SocketPath(folder, programName);
  delete m_server;
  m_server = new QLocalServer(this);
  m_server->setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(path);
  if (!m_server->listen(path)) {
    error = QStringLiteral("Can not listen on \"%1\": %2").arg(path, m_server->errorString());
    return false;
  }
  connect(m_server, &QLocalServer::newConnection, this, &TFileHandOver::AcceptConnections);
  return true;
}

void TFileHandOver::AcceptConnections()
{
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    struct TMessage {
      QByteArray Bytes;
      bool Answered = false;
    };
    auto buffer = std::make_shared<TMessage>();
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kClientTimeoutMs, socket, [socket] {
      socket->abort();
      socket->deleteLater();
    });
    auto read = [this, socket, buffer] {
      if (buffer->Answered) return;
      buffer->Bytes += socket->readAll();
      const qsizetype end = buffer->Bytes.indexOf('\0');
      if (end < 0) {
        if (buffer->Bytes.size() > kMaxMessage) socket->abort();
        return;
      }
      const QString file = QFile::decodeName(buffer->Bytes.left(end));
      buffer->Answered = true;
      if (file.isEmpty() || !QDir::isAbsolutePath(file)) {
        socket->abort();
        return;
      }
      socket->write(kAnswer);
      socket->disconnectFromServer();
      emit FileReceived(file);
      Deliver(file);
    };
    connect(socket, &QLocalSocket::readyRead, this, read);
    // What came with the connection may be read already.
    if (socket->bytesAvailable() > 0) read();
  }
}

bool TFileHandOver::Send(const QString& folder, const QString& programName, const QString& file, int timeoutMs,
                         QString& error)
{
  const QString path = SocketPath(folder, programName);
  QElapsedTimer clock;
  clock.start();
  auto left = [&] { return int(std::max<qint64>(1, timeoutMs - clock.elapsed())); };
  QLocalSocket socket;
  for (;;) {
    socket.connectToServer(path);
    if (socket.waitForConnected(left())) break;
    if (clock.elapsed() >= timeoutMs) {
      error = QStringLiteral("Jacketeer is already running but does not answer (%1).").arg(socket.errorString());
      return false;
    }
    QThread::msleep(100);  // the running copy may not listen yet
  }
  socket.write(QFile::encodeName(file) + '\0');
  QByteArray answer;
  while (!answer.contains('\n') && answer.size() < kAnswer.size()) {
    if (!socket.waitForReadyRead(left())) break;
    answer += socket.readAll();
  }
  if (answer != kAnswer) {
    error = QStringLiteral("Jacketeer is already running but did not take the file \"%1\".").arg(file);
    return false;
  }
  return true;
}

void TFileHandOver::AttachTo(TfrmMain* window)
{
  m_window = window;
}

void TFileHandOver::Deliver(const QString& file)
{
  m_pending << file;
  // Never from inside the socket's signal or the caller's handler: the
  // opening may ask its question in a modal window.
  QTimer::singleShot(0, this, &TFileHandOver::OpenPending);
}

void TFileHandOver::BringToFront()
{
  QWidget* w = QApplication::activeModalWidget();
  if (!w) w = m_window;
  if (!w) return;
  if (w->isMinimized()) w->showNormal();
  w->show();
  w->raise();
  w->activateWindow();
}

void TFileHandOver::OpenPending()
{
  if (m_opening || m_pending.isEmpty()) return;
  BringToFront();
  // A modal window (an editor, a question, a file dialog) finishes first.
  if (QApplication::activeModalWidget() || !m_window) {
    if (m_window) m_retry->start();
    return;
  }
  const QString file = m_pending.takeFirst();
  m_opening = true;
  m_window->OpenFile(file);
  m_opening = false;
  emit FileHandled(file);
  if (!m_pending.isEmpty()) QTimer::singleShot(0, this, &TFileHandOver::OpenPending);
}
