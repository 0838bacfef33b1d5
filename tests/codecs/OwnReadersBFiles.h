#pragma once
// Builders of small Photo CD, Animator, RLA and Dr. Halo files for the reader
// tests, and the patterns the committed fixtures were made from.

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <functional>
#include <vector>

// Photo CD file with the base image given per pixel (luma) and per 2 × 2
// block (chroma), and the orientation code in the low bits of byte 0x0E02.
QByteArray MakePcd(int orientation, const std::function<uint8_t(int x, int y)>& luma,
                   const std::function<uint8_t(int bx, int by)>& cb,
                   const std::function<uint8_t(int bx, int by)>& cr);
// 0x00BBGGRR of a Photo CD luma/chroma triple, in floating point.
uint32_t YccColour(int y, int cb, int cr);

// Animator picture with header: `palette` is 768 bytes, `pixels` w × h.
QByteArray MakePic(int w, int h, const std::vector<uint8_t>& palette, const std::vector<uint8_t>& pixels);

// Animator Pro picture: colour map chunk of 8-bit triples, then byte pixels
// with rows padded to `stride`.
QByteArray MakeProPic(int w, int h, int stride, const std::vector<uint8_t>& palette, const std::vector<uint8_t>& pixels);

// RLA picture of `pic` (24-bit) with its active window at (10, 5); `channels`
// colour channels (1: the red bytes as grey, 3: red, green, blue) of `bits`
// bits and `mattes` constant matte channels after them.
QByteArray MakeRla(const QImage& pic, int channels, int bits, int mattes);

// Dr. Halo CUT of w × h palette indexes.
QByteArray MakeCut(int w, int h, const std::vector<uint8_t>& indexes);
// Dr. Halo palette of `count` colours (red, green, blue words up to `maxValue`).
QByteArray MakeHaloPal(int count, int maxValue, const std::function<uint32_t(int i)>& rgbWords);

// Patterns of the committed fixtures (see tests/data/{pcd,pic,rla,cut}).
uint8_t FixtureIndex(int x, int y);        // pic and cut pictures, 40 × 30
uint8_t FixturePaletteSix(int i, int c);   // pic palette component c (0 red) of colour i
uint8_t FixturePcdLuma(int x, int y);      // pcd base image, neutral chroma, upright
uint32_t FixtureRlaColour(int x, int y);   // rla picture 33 × 21, 0x00BBGGRR
