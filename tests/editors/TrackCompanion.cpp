// A stand-in for a companion disc-burning program, used to run the track
// list exchange end to end:
//
//   jkt_track_companion FOLDER LONG [LINE...]
//
// listens on FOLDER/Jacketeer and prints "ready" once it does. For every
// request line "2024 0 0" it writes the given lines to FOLDER/Tracks.dat
// (CR LF after each, UTF-8; nothing is written when no lines are given) and
// answers "2025 0 LONG" on FOLDER/Jacketeer.cover. It ends when its standard
// input closes.
#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSaveFile>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 3) {
    std::fprintf(stderr, "usage: jkt_track_companion FOLDER LONG [LINE...]\n");
    return 2;
  }
  const QString folder = args[1];
  const QByteArray reply = "2025 0 " + args[2].toLatin1() + "\n";
  const QStringList lines = args.mid(3);

  QLocalServer server;
  QLocalServer::removeServer(folder + "/Jacketeer");
  if (!server.listen(folder + "/Jacketeer")) {
    std::fprintf(stderr, "can not listen: %s\n", qPrintable(server.errorString()));
    return 1;
  }
  QObject::connect(&server, &QLocalServer::newConnection, [&] {
    while (QLocalSocket* in = server.nextPendingConnection()) {
      QObject::connect(in, &QLocalSocket::disconnected, in, &QObject::deleteLater);
      QObject::connect(in, &QLocalSocket::readyRead, in, [&, in] {
        while (in->canReadLine()) {
          if (in->readLine().simplified() != "2024 0 0") continue;
          if (!lines.isEmpty()) {
            QSaveFile out(folder + "/Tracks.dat");
            if (out.open(QIODevice::WriteOnly)) {
              for (const QString& line : lines) out.write(line.toUtf8() + "\r\n");
              out.commit();
            }
          }
          auto* back = new QLocalSocket(&app);
          QObject::connect(back, &QLocalSocket::connected, back, [back, reply] {
            back->write(reply);
            back->disconnectFromServer();
          });
          QObject::connect(back, &QLocalSocket::disconnected, back, &QObject::deleteLater);
          back->connectToServer(folder + "/Jacketeer.cover");
        }
      });
    }
  });

  QSocketNotifier stdinClosed(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&stdinClosed, &QSocketNotifier::activated, [&] {
    char buffer[256];
    if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) app.quit();
  });
  std::printf("ready\n");
  std::fflush(stdout);
  return app.exec();
}
