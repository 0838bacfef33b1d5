#pragma once
// The thumbnail worker of a thumbnail grid: it lists the picture files of a
// folder and makes their thumbnails, the cells on screen first. It shares
// nothing with the window thread but a small mailbox of notices (behind a
// mutex) and two atomics (the visible range and the stop request): the
// grid adopts the list of the scan and the thumbnails as they arrive, so the
// window thread never sees a list or an item half written.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

// One item of a thumbnail grid.
struct TThumbnailRec {
  QString Name;        // file name without folder, as shown
  QByteArray RawName;  // the name's bytes in the folder
  qint64 Time = 0;     // last change of the file, nanoseconds since 1970
  qint64 Size = 0;     // bytes
  QImage Bitmap;       // the thumbnail, at most 138 × 105
  int Width = 0;       // the picture's own size and bit count (valid when made)
  int Height = 0;
  uint8_t BitCount = 0;
  int ImageType = 0;   // ImageFileType of the name
  bool Selected = false;
  bool Made = false;     // Bitmap, Width, Height and BitCount are valid
  bool Failed = false;   // the file could not be read: its icon carries a mark
  bool Usable = true;    // the name is valid text, so other windows can open it
};

// A picture file found by a listing.
struct TListedFile {
  QString Name;
  QByteArray RawName;
  qint64 Time = 0;
  qint64 Size = 0;
};

// Lists the picture files of a folder in the folder's own order: regular
// files (links followed) whose names end in a picture extension. FIFOs,
// devices, sockets, folders and dangling links are left out; names that are
// not valid UTF-8 are kept with their raw bytes. False when the folder can
// not be read. `stop`, when set during the listing, ends it early.
bool ListPictureFiles(const QString& folder, std::vector<TListedFile>& files,
                      const std::atomic<bool>* stop = nullptr);

// Natural order of file names: case-insensitive, runs of digits by value
// ("photo 2" before "photo 10"); < 0, 0 or > 0.
int CompareNatural(const QString& a, const QString& b);
void SortByName(std::vector<TListedFile>& files);

// The thumbnail box and the load the worker uses for one picture.
constexpr int ThumbBoxWidth = 138;
constexpr int ThumbBoxHeight = 105;

// One report of the worker, delivered in order.
struct TThumbnailNotice {
  enum TKind { Scanned, Made, Failed, Ended };
  TKind Kind = Ended;
  // Scanned: the new list. Entry k came from item From[k] of the list the
  // worker was given (-1: new file); Keep[k] says whether that item's
  // thumbnail is still valid (same size and time).
  std::vector<TListedFile> Files;
  std::vector<int> From;
  std::vector<bool> Keep;
  qint64 Total = 0;
  // Made, Failed: item Index of the scanned list, and the share of items
  // done so far.
  int Index = -1;
  QImage Bitmap;
  int Width = 0, Height = 0;
  uint8_t BitCount = 0;
  int Percent = 0;
};

class TMakeThumbnailThread : public QThread {
  Q_OBJECT

public:
  // What the grid already shows of the folder (for a refresh).
  struct TKnownFile {
    QByteArray RawName;
    qint64 Time = 0;
    qint64 Size = 0;
    bool Made = false;
  };

  // `folder` ends in a separator.
  TMakeThumbnailThread(const QString& folder, std::vector<TKnownFile> known, QObject* parent = nullptr);
  // Tells the worker to stop and waits for it.
  ~TMakeThumbnailThread() override;

  // The visible index range; the worker goes there next.
  void SetRange(int first, int last);
  // Cooperative stop: noticed between thumbnails and inside the loader.
  void Terminate();
  bool Terminating() const { return m_stop.load(std::memory_order_acquire); }
  // While set (the mouse button is down on the grid) the worker leaves the
  // processor half of the time, so that selection and scrolling stay smooth.
  void SetGentle(bool gentle);

  // The notices since the last call, oldest first.
  std::vector<TThumbnailNotice> TakeNotices();

signals:
  // Emitted from the worker when the mailbox was empty and got a notice.
  void NoticesReady();

protected:
  void run() override;

private:
  void Post(TThumbnailNotice&& notice);
  void Scan(std::vector<TListedFile>& files, std::vector<bool>& made);
  void Make(const std::vector<TListedFile>& files, std::vector<bool>& made);
  void Rest(int64_t nanoseconds);

  const QString m_folder;
  const std::vector<TKnownFile> m_known;
  std::atomic<uint64_t> m_range;  // first in the high half, last in the low half
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_gentle{false};

  std::mutex m_restLock;
  std::condition_variable m_restWake;

  std::mutex m_mailLock;
  std::vector<TThumbnailNotice> m_mail;
};
