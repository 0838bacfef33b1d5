#pragma once
// The editing panel: the view of TBaseImageEditor plus the committed picture
// every effect preview starts from, a one-step undo, and the control of
// effect runs on a worker thread.
//
// At most one run exists at a time. A request that arrives during a run
// asks the run to stop and is started when it has ended, with the latest
// parameters: any number of changes during one run lead to one further run.
// A Restore or Undo asked for during a run stops it and is carried out once
// when it has ended; a change made before it is dropped, one made after it
// runs afterwards. The window thread never waits for a run.

#include "imageeditor/BaseImageEditor.h"
#include "imageeditor/MakeProcess.h"

#include <atomic>
#include <cstdint>
#include <functional>

class TImageEditor : public TBaseImageEditor {
  Q_OBJECT

public:
  explicit TImageEditor(QWidget* parent = nullptr);
  // Stops a run still going and waits for its thread.
  ~TImageEditor() override;

  // The displayed, committed and undo pictures all become source.
  void SetBitmap(const QImage& source) override;

  // Run requests, one per effect (parameters as TProcessThread's Start…).
  void RunBrightnessContrast(int brightness, int contrast, uint8_t channel);
  void RunFisheye(long double scale);
  void RunSharpen(uint8_t level);
  void RunSmooth(uint8_t level);
  void RunSaturation(int amount);
  void RunThreshold(int level);
  void RunSolarize();
  void RunAddNoise(int amount, bool colored);
  void RunMosaic(int blockWidth, int blockHeight);
  void RunGrid3D(int blockWidth, int blockHeight);
  void RunEmboss(uint8_t depth, uint8_t direction);
  void RunSketch();
  void RunSplash(int level);
  void RunMotionBlur(uint8_t level, uint8_t direction);
  void RunTwist(int level);
  void RunMinimum(int size);
  void RunMiddle(int size);
  void RunMaximum(int size);
  void RunColorNegative(int red, int green, int blue, bool negative);
  void RunCrayon();

  // The displayed picture becomes the committed one and the committed one
  // the undo picture. Ignored during a run.
  void Commit();
  // Shows the committed picture again (after the run, during one).
  void Restore();
  // Exchanges the committed and undo pictures and shows the new committed
  // one (after the run, during one). Twice in a row is no change.
  void Undo();
  // The clipboard's picture becomes the committed and displayed picture;
  // Undo brings back the one before. False when the clipboard holds no
  // picture (error empty) or one that can not be edited (error says why).
  bool PasteFromClipboard(QString& error);

  bool Running() const { return m_running; }
  // Code of the last requested run (TProcessThread::TEffectCode).
  int Effect() const { return m_effect; }
  const QImage& CommittedBitmap() const { return m_committed; }
  const QImage& UndoBitmap() const { return m_undo; }

signals:
  // Progress of the current run, delivered on the window thread.
  void Progress(int percent);
  // A run ended and its result (or the restored picture) is about to be
  // shown. Not raised for a run that is followed by a restart.
  void Finished();
  // A run of this effect has started (on the window thread).
  void RunStarted(int effect);
  // A run ended with an error; the committed picture stays on screen.
  void RunFailed(const QString& error);

private:
  using TStarter = std::function<void(TProcessThread&)>;
  void Request(uint8_t effect, TStarter start);
  void StartRun();
  void RunEnded(const QImage& result);
  // Asks the run to stop so that a restore or undo can follow.
  void StopForRequest();
  void RestoreNow();
  void UndoNow();
  // Called on the worker thread: keeps the latest percent and has it
  // delivered once on the window thread, however many reports arrive.
  void RelayProgress(int percent);

  QImage m_committed;
  QImage m_undo;
  uint8_t m_effect = 0;
  TStarter m_start;  // the last request with its parameters

  TProcessThread* m_thread = nullptr;  // the current run, while m_running
  bool m_running = false;
  bool m_stopPending = false;
  bool m_restartPending = false;
  bool m_restoreRequested = false;
  bool m_undoRequested = false;

  std::atomic<int> m_percent{0};
  std::atomic<bool> m_progressPosted{false};
};
