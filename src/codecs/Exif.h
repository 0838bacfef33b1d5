#pragma once
// What a picture file says about itself beside its pixels: the EXIF
// orientation and the embedded ICC colour profile. The parsers read only
// inside the bytes given, follow no offset twice and stop at fixed limits, so
// a damaged or hostile file costs at most a few thousand steps.

#include <QByteArray>

// Orientation 1 … 8 from a TIFF-structured block (the body of a JPEG's EXIF
// segment after "Exif\0\0", or a whole classic TIFF file): tag 0x0112 of the
// first directory. 1 (upright) when the block is damaged or has no such tag.
// A leading "Exif\0\0" (as some PNG and WebP writers store it) is skipped.
int ExifOrientation(const QByteArray& tiffBlock);

// The EXIF block of a PNG text chunk "Raw profile type exif" (or "APP1"):
// a line with the profile's name, a line with its length in bytes, then the
// bytes in hexadecimal. Empty when the text is not such a profile.
QByteArray ExifFromRawProfileText(const QByteArray& text);

// The TIFF-structured block of a JPEG's first EXIF segment (APP1 starting
// "Exif\0\0"), or empty when there is none before the image data.
QByteArray JpegExifBlock(const QByteArray& jpeg);

// The ICC profile of a JPEG, its APP2 "ICC_PROFILE" chunks put together in
// their numbered order. Empty when there is none, or when the chunks are
// inconsistent (a number missing or repeated, counts that disagree).
QByteArray JpegIccProfile(const QByteArray& jpeg);

// Largest ICC profile taken from any file; real ones are a few kilobytes,
// the largest printer profiles a few megabytes.
constexpr int kMaxIccProfileBytes = 16 * 1024 * 1024;
