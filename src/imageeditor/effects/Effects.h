#pragma once
// The image editor's effect routines. Every routine works on a 24-bit bitmap
// (QImage::Format_BGR888: rows top-down, bytes blue, green, red; a picture in
// any other format is converted first), processes it row by row (Mosaic: block
// column by block column) and calls its progress callback after every unit of
// work with a percentage. When the callback answers false the routine stops at
// once and leaves the picture partly processed. Each routine returns true when
// it ran to the end and false when it was stopped.
//
// Apart from the shared random generator (AddNoise, Splash) the routines hold
// no state and may run on any thread.

#include <QImage>

#include <cstdint>
#include <functional>

// Percentage (0 … 100) in, true to go on, false to stop.
using TEffectProgress = std::function<bool(int percent)>;

// ---- the program's shared pseudo-random generator ------------------------
// A 32-bit linear congruential generator: seed := seed × 134775813 + 1, the
// result is the upper 32 bits of seed × n (0 … n − 1, 0 when n is 0). The seed
// is 0 when the program starts.
uint32_t RandomBelow(uint32_t n);
uint32_t RandomSeed();
void SetRandomSeed(uint32_t seed);
// Reseeds from the low 32 bits of the monotonic high-resolution clock.
void RandomizeFromClock();

// ---- tone and colour ------------------------------------------------------
// Brightness (offsets), contrast around the region's mean colour (contrast c
// gives the factor m = c + 100, squared / 100 above 100), then the 0 … 254
// bound, the zero flags, grey and negative. The region (x1, y1)-(x2, y2)
// includes both corners and is clipped to the picture.
bool AdjustColors(QImage& picture, int redOffset, int greenOffset, int blueOffset, int redContrast,
                  int greenContrast, int blueContrast, bool gray, bool negative, bool zeroRed,
                  bool zeroGreen, bool zeroBlue, int x1, int y1, int x2, int y2,
                  const TEffectProgress& progress = {});
// Moves every channel away from (amount > 100) or toward (< 100) the pixel's
// grey; amount below 0 counts as 0.
bool AdjustSaturation(QImage& picture, int amount, const TEffectProgress& progress = {});
// White where the channel average reaches level (clamped 0 … 255), else black.
bool ApplyThreshold(QImage& picture, int level, const TEffectProgress& progress = {});
// Channel values above 128 become 255 − value.
bool Solarize(QImage& picture, const TEffectProgress& progress = {});
// Adds RandomBelow(amount) − amount div 2 to each channel (three draws per
// pixel when colored, one shared draw otherwise). amount counts as unsigned.
bool AddNoise(QImage& picture, int amount, bool colored, const TEffectProgress& progress = {});

// ---- neighbourhood --------------------------------------------------------
// Mode 1: 3·P − left − right; mode 2: 3·P − above − below (inner pixels only).
bool SharpenLine(QImage& picture, int mode, const TEffectProgress& progress = {});

enum TRankKind : uint8_t { rkMaximum = 1, rkMedian = 2, rkMinimum = 3 };
// Maximum, median or minimum of the window x0 … x0 + sizeX, y0 … y0 + sizeY
// with x0 = max(x − sizeX div 2, 0) (likewise y0), cut off at the right and
// bottom edges. The median counts the cut-off part of the window as zeros and
// averages the two middle entries.
bool RankFilter(QImage& picture, int sizeX, int sizeY, int kind, const TEffectProgress& progress = {});
// Ascending in-place sort of a[low … high].
void SortBytes(uint8_t* a, int low, int high);
// Sorts a[0 … highest] and returns the mean of its two middle entries (the
// single entry when there is only one).
int MiddleValue(uint8_t* a, int highest);

// P(B) − P(A) + 127 for the two neighbours of the direction (1 … 8, from
// up-left clockwise to left) at distance depth (1 … 15).
bool Emboss(QImage& picture, int depth, int direction, const TEffectProgress& progress = {});
// Edge strength of the inner pixels: grey lines on white (sketch) or
// coloured edges on black (crayon).
bool EdgeSketch(QImage& picture, bool crayon, const TEffectProgress& progress = {});
// Average of the pixel and up to level pixels in the direction (1 … 8),
// shortened at the picture edge.
bool MotionBlur(QImage& picture, int level, int direction, const TEffectProgress& progress = {});

// ---- tiles and distortions ------------------------------------------------
// Each block takes its mean colour.
bool Mosaic(QImage& picture, int blockWidth, int blockHeight, const TEffectProgress& progress = {});
// Raised tiles of blockWidth × blockHeight in cells three pixels larger.
bool Grid3D(QImage& picture, int blockWidth, int blockHeight, int light, int dark,
            const TEffectProgress& progress = {});
// Each pixel takes a random pixel up to level away (reseeds the generator).
bool Splash(QImage& picture, int level, const TEffectProgress& progress = {});
// Radial lens: destination (same size as source) sampled from the source.
bool Fisheye(const QImage& source, QImage& destination, long double scale,
             const TEffectProgress& progress = {});
// Swirl that turns the centre by a quarter turn, less with the distance.
bool Twist(const QImage& source, QImage& destination, int level, const TEffectProgress& progress = {});
// Polar angle in −π/2 … 3π/2.
float AngleOf(float dx, float dy);
// Bilinear sample of a 24-bit picture at (sx, sy) with the wrap-around of the
// distortions; writes blue, green, red to out.
void BilinearSample(const QImage& source, float sx, float sy, uint8_t out[3]);
