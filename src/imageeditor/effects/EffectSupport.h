#pragma once
// Small helpers shared by the effect routines.

#include "imageeditor/effects/Effects.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>

namespace effects_detail {

// unit × 100 div last, or 100 when there is only one unit (last = 0).
inline int Percent(int64_t unit, int64_t last)
{
  return last > 0 ? int(unit * 100 / last) : 100;
}

// Reports a percentage; true to go on (always true without a callback).
inline bool Report(const TEffectProgress& progress, int percent)
{
  return !progress || progress(percent);
}

// Makes sure the picture is a 24-bit bitmap; false for an empty picture.
inline bool Prepare(QImage& picture)
{
  if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0) return false;
  if (picture.format() != QImage::Format_BGR888)
    picture = picture.convertToFormat(QImage::Format_BGR888);
  return !picture.isNull();
}

// Whether the routines may use their AVX2 versions: the processor has AVX2
// and the tests have not asked for the plain SSE2 versions (which give the
// same results) to check them against each other. Some AVX2 loops are
// written once for both vector widths and rely on GCC's flatten to build
// them wholly into one AVX2 function, which it does when optimising; a
// build without optimisation (where 32-byte vectors would cross calls built
// without AVX) and other compilers (clang for the fuzzing harnesses) get the
// SSE2 versions of those.
#if defined(__GNUC__) && !defined(__clang__) && defined(__OPTIMIZE__)
#define JKT_AVX2_TEMPLATES 1
#else
#define JKT_AVX2_TEMPLATES 0
#endif
inline std::atomic<bool> baselineVectorsOnly{false};
inline bool UseAvx2()
{
  static const bool present = __builtin_cpu_supports("avx2");
  return present && !baselineVectorsOnly.load(std::memory_order_relaxed);
}

// Bands of rows on several threads. A routine hands RunBands its work for a
// band of rows y0 … y1 − 1, which must do those rows in order, call rowDone(y)
// once row y is finished in the picture and return at once when rowDone
// answers false. RunBands reports every row's percentage through progress in
// order from the calling thread, whichever band finished it, and when
// progress answers false every band ends after its current row. Pictures of
// fewer than kBandPixels pixels, or with bandsOverride set to 1, run as one
// band on the calling thread. Answers false when stopped.
using TRowDone = std::function<bool(int row)>;
using TBandWork = std::function<bool(int y0, int y1, const TRowDone& rowDone)>;
constexpr int64_t kBandPixels = 1 << 20;
// 0: one band per processor for large pictures; n > 0: n bands whatever the
// size (at most one per row), for tests and one-thread measurements.
inline std::atomic<int> bandsOverride{0};
bool RunBands(int height, int64_t pixels, const TEffectProgress& progress, const TBandWork& work);

inline uint8_t Clamp255(int64_t v)
{
  return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

}  // namespace effects_detail
