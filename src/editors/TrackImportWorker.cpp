#include "editors/TrackImportWorker.h"

TTrackImportWorker::TTrackImportWorker(QObject* parent) : QObject(parent) {}

TTrackImportWorker::~TTrackImportWorker()
{
  Stop();
  Join();
}

void TTrackImportWorker::Join()
{
  if (m_thread.joinable()) m_thread.join();
}

bool TTrackImportWorker::Start(const QStringList& paths)
{
  if (m_running) return false;
  Join();  // a thread that has ended but whose result was not yet delivered
  m_stop = false;
  m_running = true;
  m_thread = std::thread([this, paths] {
    int last = -1;
    TTrackImport result = ImportTracks(paths, [this, &last](int percent) {
      if (percent != last) {
        last = percent;
        QMetaObject::invokeMethod(this, [this, percent] { emit Progress(percent); }, Qt::QueuedConnection);
      }
      return !m_stop.load();
    });
    QMetaObject::invokeMethod(
        this,
        [this, result] {
          Join();
          m_running = false;
          emit Finished(result);
        },
        Qt::QueuedConnection);
  });
  return true;
}

void TTrackImportWorker::Stop()
{
  m_stop = true;
}
