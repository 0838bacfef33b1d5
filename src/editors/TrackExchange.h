#pragma once
// The track list exchange with a companion disc-burning program, over local
// sockets in the program's temporary folder, one text line per message:
//
//   request  "2024 0 0"            written to the companion's socket "Jacketeer"
//                                  when one listens; nobody listening is fine;
//   reply    "2025 <word> <long>"  written by the companion to our socket
//                                  "Jacketeer.cover"; a long of 0 means "take
//                                  Tracks.dat", any other value "use the
//                                  default list"; the word is not used.
//
// Sending never blocks or waits: the request is written when the connection
// is made and dropped when none can be made within two seconds.

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

inline constexpr int kTrackRequestMessage = 2024;
inline constexpr int kTrackReplyMessage = 2025;
inline constexpr const char* kCompanionSocketName = "Jacketeer";
inline constexpr const char* kCoverSocketName = "Jacketeer.cover";

// Parses one reply line; true with takeFile when it is a well-formed reply.
bool ParseTrackReply(const QByteArray& line, bool& takeFile);

class TTrackExchange : public QObject {
  Q_OBJECT

public:
  explicit TTrackExchange(QObject* parent = nullptr);
  ~TTrackExchange() override;

  // Listens for replies in `folder` (our private temporary folder). A stale
  // socket left by a copy of the program that crashed is replaced. False when
  // the socket can not be made; requests can still be sent.
  bool Listen(const QString& folder);
  bool Listening() const;
  QString Folder() const { return m_folder; }

  // Asks the companion program for its track list.
  void SendRequest();

signals:
  // A reply arrived: take Tracks.dat (true) or the default list (false).
  void TrackReply(bool takeFile);

private:
  void AcceptConnection();
  void ReadReply(QLocalSocket* socket);

  QString m_folder;
  QLocalServer* m_server = nullptr;
};
