#pragma once
// The texts and small rules of the image viewer window: file sizes and
// colour counts in the status bar, the file time, the band of the preview
// drawn at each progress notice, how long an animation frame stays, and
// when "Prev." and "Next" can be used.

#include <QDateTime>
#include <QString>

#include <optional>

// "0 Bytes", "1,024 Bytes", "1.5 KB", "4,768.3 MB": one decimal, dropped
// when it is 0, and "," between groups of three digits.
QString FileSizeText(qint64 size);
// 2 to the power of the bit count for 8 bits or fewer ("256"), else the bit
// count followed by "b" ("24b").
QString ColorCountText(int bitCount);
// A file time as hour:minute day-month-year without leading zeros
// ("9:5 3-7-2004"), in local time.
QString FileTimeText(const QDateTime& time);

// The rows [First, End) of a preview `height` rows high that the progress
// notice with this signed percentage draws; negative percentages come from
// pictures decoded from their bottom row upwards.
struct TRowBand {
  int First = 0;
  int End = 0;
};
TRowBand PreviewBand(int height, int percent);

// How long an animation frame stays, in milliseconds, from its delay in
// hundredths of a second: short delays are raised to 3, long ones cut to
// 1000, a frame without a delay of its own counts as 10.
int FrameTimeMs(bool hasDelay, int delayHundredths);

// Enabled states of "Prev." and "Next" for `count` items and the focused
// item's number (index + 1); nothing to change while no item is focused in
// a folder of several.
struct TNavButtons {
  bool Previous = false;
  bool Next = false;
};
std::optional<TNavButtons> NavButtonsFor(int count, int number);
