#include "imageeditor/ImageEditor.h"

#include <utility>

TImageEditor::TImageEditor(QWidget* parent) : TBaseImageEditor(parent)
{
  m_committed = Bitmap();
  m_undo = Bitmap();
}

TImageEditor::~TImageEditor()
{
  // The thread's destructor asks the effect to stop, drops its connections
  // and waits; the effect stops after its current row.
  delete m_thread;
}

void TImageEditor::SetBitmap(const QImage& source)
{
  TBaseImageEditor::SetBitmap(source);
  // The pictures share their pixels until one of them is replaced; nothing
  // writes into them in place.
  m_committed = Bitmap();
  m_undo = Bitmap();
}

// ---------------------------------------------------------------- requests

void TImageEditor::RunBrightnessContrast(int brightness, int contrast, uint8_t channel)
{
  Request(TProcessThread::ecBrightnessContrast,
          [=](TProcessThread& t) { t.StartBrightnessContrast(brightness, contrast, channel); });
}

void TImageEditor::RunFisheye(long double scale)
{
  Request(TProcessThread::ecFisheye, [=](TProcessThread& t) { t.StartFisheye(scale); });
}

void TImageEditor::RunSharpen(uint8_t level)
{
  Request(TProcessThread::ecSharpen, [=](TProcessThread& t) { t.StartSharpen(level); });
}

void TImageEditor::RunSmooth(uint8_t level)
{
  Request(TProcessThread::ecSmooth, [=](TProcessThread& t) { t.StartSmooth(level); });
}

void TImageEditor::RunSaturation(int amount)
{
  Request(TProcessThread::ecSaturation, [=](TProcessThread& t) { t.StartSaturation(amount); });
}

void TImageEditor::RunThreshold(int level)
{
  Request(TProcessThread::ecThreshold, [=](TProcessThread& t) { t.StartThreshold(level); });
}

void TImageEditor::RunSolarize()
{
  Request(TProcessThread::ecSolarize, [](TProcessThread& t) { t.StartSolarize(); });
}

void TImageEditor::RunAddNoise(int amount, bool colored)
{
  Request(TProcessThread::ecAddNoise, [=](TProcessThread& t) { t.StartAddNoise(amount, colored); });
}

void TImageEditor::RunMosaic(int blockWidth, int blockHeight)
{
  Request(TProcessThread::ecMosaic, [=](TProcessThread& t) { t.StartMosaic(blockWidth, blockHeight); });
}

void TImageEditor::RunGrid3D(int blockWidth, int blockHeight)
{
  Request(TProcessThread::ecGrid3D, [=](TProcessThread& t) { t.StartGrid3D(blockWidth, blockHeight); });
}

void TImageEditor::RunEmboss(uint8_t depth, uint8_t direction)
{
  Request(TProcessThread::ecEmboss, [=](TProcessThread& t) { t.StartEmboss(depth, direction); });
}

void TImageEditor::RunSketch()
{
  Request(TProcessThread::ecSketch, [](TProcessThread& t) { t.StartSketch(); });
}

void TImageEditor::RunSplash(int level)
{
  Request(TProcessThread::ecSplash, [=](TProcessThread& t) { t.StartSplash(level); });
}

void TImageEditor::RunMotionBlur(uint8_t level, uint8_t direction)
{
  Request(TProcessThread::ecMotionBlur, [=](TProcessThread& t) { t.StartMotionBlur(level, direction); });
}

void TImageEditor::RunTwist(int level)
{
  Request(TProcessThread::ecTwist, [=](TProcessThread& t) { t.StartTwist(level); });
}

void TImageEditor::RunMinimum(int size)
{
  Request(TProcessThread::ecMinimum, [=](TProcessThread& t) { t.StartMinimum(size); });
}

void TImageEditor::RunMiddle(int size)
{
  Request(TProcessThread::ecMiddle, [=](TProcessThread& t) { t.StartMiddle(size); });
}

void TImageEditor::RunMaximum(int size)
{
  Request(TProcessThread::ecMaximum, [=](TProcessThread& t) { t.StartMaximum(size); });
}

void TImageEditor::RunColorNegative(int red, int green, int blue, bool negative)
{
  Request(TProcessThread::ecColorNegative,
          [=](TProcessThread& t) { t.StartColorNegative(red, green, blue, negative); });
}

void TImageEditor::RunCrayon()
{
  Request(TProcessThread::ecCrayon, [](TProcessThread& t) { t.StartCrayon(); });
}

// ---------------------------------------------------------------- runs

void TImageEditor::Request(uint8_t effect, TStarter start)
{
  m_effect = effect;
  m_start = std::move(start);
  if (m_running) {
    // Folded: the run is told to stop and the latest request starts when
    // it has ended.
    m_restartPending = true;
    m_thread->Stop();
    return;
  }
  StartRun();
}

void TImageEditor::StartRun()
{
  // The run works on its own copy of the committed picture; the view keeps
  // showing the picture it showed until the run has ended.
  m_thread = new TProcessThread(m_committed);
  m_thread->OnProgress = [this](QObject*, int percent) { RelayProgress(percent); };
  connect(m_thread, &TProcessThread::Ended, this, [this](const QImage& result) { RunEnded(result); });
  m_running = true;
  m_percent.store(0);
  emit RunStarted(m_effect);
  m_start(*m_thread);
}

void TImageEditor::RelayProgress(int percent)
{
  m_percent.store(percent);
  if (m_progressPosted.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        m_progressPosted.store(false);
        if (m_running) emit Progress(m_percent.load());
      },
      Qt::QueuedConnection);
}

void TImageEditor::StopForRequest()
{
  m_stopPending = true;
  // A change asked for before this request is dropped; one asked for after
  // it sets the restart again and runs once the request is carried out.
  m_restartPending = false;
  m_thread->Stop();
}

void TImageEditor::RunEnded(const QImage& result)
{
  const QString error = m_thread->ErrorText();
  m_thread->deleteLater();
  m_thread = nullptr;
  m_running = false;

  const bool stop = std::exchange(m_stopPending, false);
  const bool restart = std::exchange(m_restartPending, false);
  if (stop) {
    if (std::exchange(m_restoreRequested, false)) RestoreNow();
    if (std::exchange(m_undoRequested, false)) UndoNow();
    if (restart) {
      StartRun();
      return;
    }
  } else if (restart) {
    StartRun();
    return;
  } else if (!error.isEmpty()) {
    // A failed run leaves a partly processed picture: not shown.
    RestoreNow();
    emit RunFailed(error);
  } else {
    SetDisplayed(result);
  }
  emit Finished();
  RefreshView();
}

void TImageEditor::Commit()
{
  if (m_running) return;
  m_undo = m_committed;
  m_committed = Bitmap();
}

void TImageEditor::RestoreNow()
{
  SetDisplayed(m_committed);
}

void TImageEditor::UndoNow()
{
  std::swap(m_committed, m_undo);
  SetDisplayed(m_committed);
}

void TImageEditor::Restore()
{
  if (m_running) {
    m_restoreRequested = true;
    StopForRequest();
    return;
  }
  RestoreNow();
  RefreshView();
}

void TImageEditor::Undo()
{
  if (m_running) {
    m_undoRequested = true;
    StopForRequest();
    return;
  }
  UndoNow();
  RefreshView();
}

bool TImageEditor::PasteFromClipboard(QString& error)
{
  QImage picture;
  if (!ClipboardPicture(picture, error)) return false;
  m_undo = m_committed;
  m_committed = picture;
  if (m_running) {
    m_restoreRequested = true;
    StopForRequest();
    return true;
  }
  RestoreNow();
  RefreshView();
  return true;
}
