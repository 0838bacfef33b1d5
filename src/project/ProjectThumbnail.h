#pragma once
// Thumbnails of project files for file managers (a freedesktop thumbnailer):
//   jacketeer --thumbnail SIZE PROJECT.jkp OUT.png
// writes the cover, scaled so that its longest side is SIZE pixels (128 to
// 1024), as a PNG. Thumbnailers run in the background on files that came from
// anywhere, so the command runs under limits: no window and no display, a
// cap on memory, processor and wall-clock time, and every file it makes lives
// in a temporary folder of its own that it removes, also when it is stopped.

#include <QImage>
#include <QString>

#include <cstdint>

inline constexpr int kThumbnailMinSize = 128;
inline constexpr int kThumbnailMaxSize = 1024;

// Limits of one thumbnail run.
struct TThumbnailLimits {
  uint64_t AddressSpace = uint64_t(512) << 20;  // bytes of address space (not under sanitizers)
  int CpuSeconds = 10;                          // processor time
  int WallSeconds = 10;                         // time on the clock
  uint64_t FileSize = uint64_t(256) << 20;      // largest file it may write
  int64_t ProjectSize = int64_t(1) << 30;       // largest project it opens
};

// True when the first argument is "--thumbnail".
bool IsThumbnailCommand(int argc, char** argv);

// Reads SIZE ("256"); false with a reason when it is not a whole number
// within 128 ... 1024.
bool ParseThumbnailSize(const QString& text, int& size, QString& error);

// Checks that `project` is a regular file of at most `maxSize` bytes (a FIFO,
// a device or a folder is refused without being opened).
bool CheckThumbnailInput(const QString& project, int64_t maxSize, QString& error);

// The cover of `project` with its longest side `size` pixels (24-bit).
// The project is opened in a temporary folder made inside `tempParent` and
// removed again.
bool RenderProjectThumbnail(const QString& project, int size, const QString& tempParent, QImage& thumbnail,
                            QString& error);

// Writes `thumbnail` to `output` as PNG: a complete new file renamed into
// place. The output may not be the project itself nor anything but a regular
// file.
bool WriteThumbnailPng(const QImage& thumbnail, const QString& output, const QString& project, QString& error);

// Runs the command; returns the exit status: 0 written, 1 failed (the reason
// on stderr, no output file), 2 wrong usage (the usage on stderr).
int ProjectThumbnail(int argc, char** argv, const TThumbnailLimits& limits = {});
