#pragma once
// The process-wide table of file-type icons drawn by every thumbnail grid:
// for each picture type a large icon (32 × 32), shown in place of a thumbnail
// not yet made, and a small badge (18 × 9) in the corner of a made one.

#include <QImage>

struct TTypeIcon {
  QImage Large;
  QImage Small;
};

// The icons of a picture type (the ImageType code of the extension table).
// A type without artwork of its own gets a plain page labelled with its
// extension; code 0 (not a picture) gets empty images, which are not drawn.
// Window thread only.
const TTypeIcon& TypeIcons(int imageType);

// The mark laid over the large icon of a file that can not be read (14 × 14).
const QImage& UnreadableMark();
