#include "editors/TrackExchange.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace {

// A reply is a few dozen bytes; a peer that sends more without a line end,
// or stays connected without a word, is dropped.
constexpr qsizetype kMaxReplyLine = 256;
constexpr int kSocketTimeoutMs = 2000;

void Drop(QLocalSocket* socket)
{
  socket->abort();
  socket->deleteLater();
}

void DropLater(QLocalSocket* socket)
{
  QTimer::singleShot(kSocketTimeoutMs, socket, [socket] { Drop(socket); });
}

}  // namespace

bool ParseTrackReply(const QByteArray& line, bool& takeFile)
{
  const QList<QByteArray> parts = line.simplified().split(' ');
  if (parts.size() != 3) return false;
  bool ok[3] = {};
  const qlonglong message = parts[0].toLongLong(&ok[0]);
  parts[1].toLongLong(&ok[1]);
  const qlonglong value = parts[2].toLongLong(&ok[2]);
  if (!ok[0] || !ok[1] || !ok[2] || message != kTrackReplyMessage) return false;
  takeFile = value == 0;
  return true;
}

TTrackExchange::TTrackExchange(QObject* parent) : QObject(parent) {}

TTrackExchange::~TTrackExchange()
{
  if (m_server) m_server->close();
}

bool TTrackExchange::Listen(const QString& folder)
{
  m_folder = QDir::cleanPath(folder);
  if (m_server) {
    m_server->close();
    delete m_server;
  }
  m_server = new QLocalServer(this);
  m_server->setSocketOptions(QLocalServer::UserAccessOption);
  connect(m_server, &QLocalServer::newConnection, this, [this] { AcceptConnection(); });
  const QString name = m_folder + '/' + QLatin1String(kCoverSocketName);
  if (m_server->listen(name)) return true;
  // Only one copy of the program runs per user, so a socket already there is
  // one a crashed copy left behind.
  if (m_server->serverError() == QAbstractSocket::AddressInUseError) {
    QLocalServer::removeServer(name);
    if (m_server->listen(name)) return true;
  }
  return false;
}

bool TTrackExchange::Listening() const
{
  return m_server && m_server->isListening();
}

void TTrackExchange::AcceptConnection()
{
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadReply(socket); });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    DropLater(socket);
    ReadReply(socket);
  }
}

void TTrackExchange::ReadReply(QLocalSocket* socket)
{
  while (socket->canReadLine()) {
    const QByteArray line = socket->readLine(kMaxReplyLine);
    if (!line.endsWith('\n')) {
      Drop(socket);
      return;
    }
    bool takeFile = false;
    if (ParseTrackReply(line, takeFile)) emit TrackReply(takeFile);
  }
  if (socket->bytesAvailable() > kMaxReplyLine) Drop(socket);
}

void TTrackExchange::SendRequest()
{
  if (m_folder.isEmpty()) return;
  auto* socket = new QLocalSocket(this);
  connect(socket, &QLocalSocket::connected, socket, [socket] {
    socket->write(QByteArrayLiteral("2024 0 0\n"));
    socket->disconnectFromServer();
  });
  connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  connect(socket, &QLocalSocket::errorOccurred, socket, [socket] { socket->deleteLater(); });
  DropLater(socket);
  socket->connectToServer(m_folder + '/' + QLatin1String(kCompanionSocketName));
}
