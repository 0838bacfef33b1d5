#pragma once
// Runs ImportTracks on a thread of its own, so that a folder of thousands of
// files never blocks the window. Progress and the result arrive as queued
// signals on the thread that owns the worker; Stop asks the import to end
// early (its result then says Stopped). The destructor stops the thread and
// waits for it.

#include "editors/TrackImport.h"

#include <QObject>

#include <atomic>
#include <thread>

class TTrackImportWorker : public QObject {
  Q_OBJECT

public:
  explicit TTrackImportWorker(QObject* parent = nullptr);
  ~TTrackImportWorker() override;

  // False (and nothing started) while an import is still running.
  bool Start(const QStringList& paths);
  void Stop();
  bool Running() const { return m_running; }

signals:
  void Progress(int percent);
  void Finished(const TTrackImport& result);

private:
  void Join();

  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  bool m_running = false;
};
