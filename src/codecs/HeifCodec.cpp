// HEIF stills through libheif: HEIC (HEVC, decoded by libde265) and AVIF
// (AV1, decoded by dav1d), the primary picture of the file. libheif applies
// the file's own turns, mirrors and crops, so the picture arrives upright. For
// a reduced decode the thumbnail the file carries is taken when it is large
// enough. Alpha and an embedded ICC profile are passed on.
#include "codecs/Codec.h"
#include "codecs/CodecUtil.h"

#include <algorithm>
#include <memory>
#include <cstring>
#include <cstdint>
#include <map>
#include <vector>

#include <libheif/heif.h>

namespace {

struct TContextDeleter {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct THandleDeleter {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct TImageDeleter {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct TOptionsDeleter {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
using THandle = std::unique_ptr<heif_image_handle, THandleDeleter>;

QString HeifMessage(const heif_error& e)
{
  return QStringLiteral("Damaged HEIF file: %1").arg(QString::fromUtf8(e.message ? e.message : "unknown error"));
}

// Progress of a picture made of tiles (the usual form of camera HEIC files).
struct TTileProgress {
  TProgressReporter* Reporter = nullptr;
  int Tiles = 0;
};

void StartTiles(heif_progress_step step, int max, void* user)
{
  if (step == heif_progress_step_load_tile) static_cast<TTileProgress*>(user)->Tiles = max;
}

void TileDone(heif_progress_step step, int done, void* user)
{
  auto* p = static_cast<TTileProgress*>(user);
  if (step == heif_progress_step_load_tile && p->Tiles > 0) p->Reporter->RowsDone(int(int64_t(done) * 100 / p->Tiles));
}

void EndTiles(heif_progress_step, void*) {}

// The thumbnail of `main` that still covers minW × minH, the smallest such.
THandle UsableThumbnail(heif_image_handle* main, int minW, int minH)
{
  const int n = heif_image_handle_get_number_of_thumbnails(main);
  if (n <= 0 || n > 64) return nullptr;
  std::vector<heif_item_id> ids(static_cast<size_t>(n));
  heif_image_handle_get_list_of_thumbnail_IDs(main, ids.data(), n);
  THandle best;
  int64_t bestPixels = 0;
  for (heif_item_id id : ids) {
    heif_image_handle* t = nullptr;
    if (heif_image_handle_get_thumbnail(main, id, &t).code != heif_error_Ok || !t) continue;
    THandle thumb(t);
    const int w = heif_image_handle_get_width(t), h = heif_image_handle_get_height(t);
    const int64_t pixels = int64_t(w) * h;
    if (w >= minW && h >= minH && (!best || pixels < bestPixels)) {
      best = std::move(thumb);
      bestPixels = pixels;
    }
  }
  return best;
}

// ---------------------------------------------------------------- declared canvases
//
// A picture made of tiles ("grid") or of layers ("iovl") declares the size
// of its canvas in the item's own data, and libheif allocates that canvas
// with no check but its side limit: a few bytes could ask for a canvas of
// 65535 × 65535. The canvases are read here first, from the boxes of the
// file, and measured like any picture.

constexpr uint32_t Tag(const char (&s)[5])
{
  return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}

// A big-endian number of `bytes` bytes (0 to 8, as the sizes in the item
// location box go); more fails the reader.
uint64_t ReadSized(TByteReader& r, unsigned bytes)
{
  if (bytes > 8) {
    r.Skip(r.Remaining() + 1);
    return 0;
  }
  uint64_t v = 0;
  for (unsigned i = 0; i < bytes; ++i) v = v << 8 | r.U8();
  return v;
}

struct TBox {
  uint32_t Type;
  size_t Start;  // of the content, after the header
  size_t Size;
};

// The boxes within [begin, end) of `p`, up to the first that does not fit.
std::vector<TBox> Boxes(const uint8_t* p, size_t begin, size_t end)
{
  std::vector<TBox> boxes;
  for (size_t at = begin; end - at >= 8 && boxes.size() < 4096;) {
    TByteReader r(p + at, end - at);
    uint64_t size = r.U32BE();
    const uint32_t type = r.U32BE();
    size_t header = 8;
    if (size == 1) {
      size = ReadSized(r, 8);
      header = 16;
    } else if (size == 0) {
      size = end - at;
    }
    if (r.Failed() || size < header || size > end - at) break;
    boxes.push_back({type, at + header, size_t(size) - header});
    at += size_t(size);
  }
  return boxes;
}

const TBox* FindBox(const std::vector<TBox>& boxes, uint32_t type)
{
  for (const TBox& b : boxes)
    if (b.Type == type) return &b;
  return nullptr;
}

// False with the reason when a grid or overlay item of the file declares a
// canvas larger than a picture may be. Whatever cannot be read is left to
// libheif, which reports it.
bool DeclaredCanvasesFit(const QByteArray& data, QString& error)
{
  const auto* p = reinterpret_cast<const uint8_t*>(data.constData());
  const size_t n = size_t(data.size());
  const std::vector<TBox> top = Boxes(p, 0, n);
  const TBox* meta = FindBox(top, Tag("meta"));
  if (!meta || meta->Size < 4) return true;
  const std::vector<TBox> parts = Boxes(p, meta->Start + 4, meta->Start + meta->Size);

  // The items that are grids or overlays: item number and kind.
  std::map<uint64_t, uint32_t> canvases;
  if (const TBox* iinf = FindBox(parts, Tag("iinf"))) {
    TByteReader r(p + iinf->Start, iinf->Size);
    const unsigned version = r.U8();
    r.Skip(3);
    r.Skip(version == 0 ? 2 : 4);  // the count; the boxes that follow are what counts
    if (r.Failed()) return true;
    for (const TBox& infe : Boxes(p, iinf->Start + r.Pos(), iinf->Start + iinf->Size)) {
      if (infe.Type != Tag("infe")) continue;
      TByteReader e(p + infe.Start, infe.Size);
      const unsigned v = e.U8();
      if (v < 2) continue;  // entries before version 2 name no item type
      e.Skip(3);
      const uint64_t id = v == 2 ? e.U16BE() : e.U32BE();
      e.Skip(2);
      const uint32_t type = e.U32BE();
      if (!e.Failed() && (type == Tag("grid") || type == Tag("iovl"))) canvases.emplace(id, type);
    }
  }
  const TBox* iloc = FindBox(parts, Tag("iloc"));
  if (canvases.empty() || !iloc) return true;
  const TBox* idat = FindBox(parts, Tag("idat"));

  TByteReader r(p + iloc->Start, iloc->Size);
  const unsigned version = r.U8();
  r.Skip(3);
  if (r.Failed() || version > 2) return true;
  unsigned b = r.U8();
  const unsigned offsetSize = b >> 4, lengthSize = b & 15;
  b = r.U8();
  const unsigned baseSize = b >> 4, indexSize = version >= 1 ? b & 15 : 0;
  const uint64_t count = version < 2 ? r.U16BE() : r.U32BE();
  for (uint64_t i = 0; i < count && !r.Failed(); ++i) {
    const uint64_t id = version < 2 ? r.U16BE() : r.U32BE();
    const unsigned method = version >= 1 ? r.U16BE() & 15 : 0;
    r.Skip(2);  // data reference
    const uint64_t base = ReadSized(r, baseSize);
    const uint64_t extents = r.U16BE();
    // The first extents (a canvas is described in 12 bytes at most).
    struct TExtent {
      uint64_t Offset = 0, Length = 0;
    } first[4];
    // Entries of no bytes at all would let a few bytes ask for 65535 loops.
    if (indexSize + offsetSize + lengthSize > 0) {
      for (uint64_t x = 0; x < extents && !r.Failed(); ++x) {
        ReadSized(r, indexSize);
        const uint64_t o = ReadSized(r, offsetSize), l = ReadSized(r, lengthSize);
        if (x < std::size(first)) first[x] = {o, l};
      }
    }
    if (r.Failed() || extents == 0) break;
    const auto item = canvases.find(id);
    if (item == canvases.end()) continue;

    // Where the item's data lies: in the file, or in the item data box.
    size_t from = 0, to = n;
    if (method == 1 && idat) {
      from = idat->Start;
      to = idat->Start + idat->Size;
    } else if (method != 0) {
      continue;
    }
    uint8_t head[12];
    size_t got = 0;
    for (size_t x = 0; x < std::min<uint64_t>(extents, std::size(first)) && got < sizeof head; ++x) {
      const uint64_t room = to - from;
      if (base > room || first[x].Offset > room - base) break;
      const size_t at = from + size_t(base + first[x].Offset);
      size_t take = std::min(sizeof head - got, to - at);  // a length of 0 reaches to the end
      if (first[x].Length > 0) take = size_t(std::min<uint64_t>(take, first[x].Length));
      std::memcpy(head + got, p + at, take);
      got += take;
    }

    TByteReader c(head, got);
    c.Skip(1);
    const unsigned flags = c.U8();
    c.Skip(item->second == Tag("grid") ? 2 : 8);  // rows and columns, or the fill colour
    const uint64_t width = (flags & 1) ? c.U32BE() : c.U16BE();
    const uint64_t height = (flags & 1) ? c.U32BE() : c.U16BE();
    if (!c.Failed() && width > 0 && height > 0 && !CheckImageSize(int64_t(width), int64_t(height), error)) return false;
  }
  return true;
}

}  // namespace

bool DecodeHeif(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
  const int probe = int(std::min<qsizetype>(data.size(), 64));
  const heif_filetype_result type = heif_check_filetype(bytes, probe);
  if (data.size() < 12 || type == heif_filetype_no) {
    error = QStringLiteral("Not a HEIF file");
    return false;
  }
  if (type == heif_filetype_yes_unsupported) {
    error = QStringLiteral("The HEIF file holds a kind of picture this reader lacks");
    return false;
  }
  if (!DeclaredCanvasesFit(data, error)) return false;
  try {
    std::unique_ptr<heif_context, TContextDeleter> ctx(heif_context_alloc());
    if (!ctx) {
      error = QStringLiteral("Not enough memory");
      return false;
    }
    // libheif refuses pictures beyond this before it allocates for them.
    heif_context_set_maximum_image_size_limit(ctx.get(), kMaxImageSide);
    heif_context_set_max_decoding_threads(ctx.get(), DecoderThreads());
    heif_error err = heif_context_read_from_memory_without_copy(ctx.get(), bytes, size_t(data.size()), nullptr);
    if (err.code != heif_error_Ok) {
      error = HeifMessage(err);
      return false;
    }
    heif_image_handle* h = nullptr;
    err = heif_context_get_primary_image_handle(ctx.get(), &h);
    if (err.code != heif_error_Ok || !h) {
      error = HeifMessage(err);
      return false;
    }
    THandle primary(h);
    // The declared size (as stored and as shown) is checked before decoding.
    const int width = heif_image_handle_get_width(h), height = heif_image_handle_get_height(h);
    if (!CheckImageSize(width, height, error)) return false;
    const int storedW = heif_image_handle_get_ispe_width(h), storedH = heif_image_handle_get_ispe_height(h);
    if ((storedW > 0 || storedH > 0) && !CheckImageSize(storedW, storedH, error)) return false;
    // What libheif assembles while decoding (a grid of tiles, the alpha
    // plane) is checked only against this side limit, and a damaged file can
    // declare a grid far larger than its picture: nothing may exceed the
    // picture's own longer side.
    heif_context_set_maximum_image_size_limit(
        ctx.get(), std::max({width, height, storedW, storedH, 1}) + 1);

    int minW = width, minH = height;
    ReducedDecodeSize(width, height, opt, minW, minH);
    THandle thumb;
    if (minW < width || minH < height) thumb = UsableThumbnail(h, minW, minH);
    heif_image_handle* source = thumb ? thumb.get() : h;

    const bool alpha = heif_image_handle_has_alpha_channel(source) != 0;
    std::unique_ptr<heif_decoding_options, TOptionsDeleter> options(heif_decoding_options_alloc());
    if (!options) {
      error = QStringLiteral("Not enough memory");
      return false;
    }
    options->convert_hdr_to_8bit = 1;
    TProgressReporter progress(opt.Progress, 100);
    if (!progress.RowsDone(0)) return false;
    TTileProgress tiles{&progress, 0};
    options->start_progress = StartTiles;
    options->on_progress = TileDone;
    options->end_progress = EndTiles;
    options->progress_user_data = &tiles;

    heif_image* img = nullptr;
    err = heif_decode_image(source, &img, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    if (err.code != heif_error_Ok || !img) {
      error = HeifMessage(err);
      return false;
    }
    std::unique_ptr<heif_image, TImageDeleter> image(img);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(img, heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(img, heif_channel_interleaved);
    const int h2 = heif_image_get_height(img, heif_channel_interleaved);
    if (!plane || w <= 0 || h2 <= 0 || stride < w * (alpha ? 4 : 3) || !CheckImageSize(w, h2, error)) {
      if (error.isEmpty()) error = QStringLiteral("Damaged HEIF file");
      return false;
    }

    QImage colour(w, h2, QImage::Format_BGR888);
    QImage mask;
    if (colour.isNull()) {
      error = QStringLiteral("Not enough memory for a picture of %1 × %2").arg(w).arg(h2);
      return false;
    }
    bool opaque = true;
    if (alpha) {
      mask = QImage(w, h2, QImage::Format_Grayscale8);
      if (mask.isNull()) {
        error = QStringLiteral("Not enough memory for a picture of %1 × %2").arg(w).arg(h2);
        return false;
      }
    }
    const bool premultiplied = alpha && heif_image_handle_is_premultiplied_alpha(source);
    for (int y = 0; y < h2; ++y) {
      const uint8_t* s = plane + size_t(y) * size_t(stride);
      uint8_t* d = colour.scanLine(y);
      if (!alpha) {
        for (int x = 0; x < w; ++x, s += 3, d += 3) {
          d[0] = s[2];
          d[1] = s[1];
          d[2] = s[0];
        }
        continue;
      }
      uint8_t* a = mask.scanLine(y);
      for (int x = 0; x < w; ++x, s += 4, d += 3) {
        const int av = s[3];
        a[x] = uint8_t(av);
        if (av != 255) opaque = false;
        if (premultiplied && av != 255) {
          for (int k = 0; k < 3; ++k)
            d[2 - k] = av == 0 ? 0 : uint8_t(std::min(255, (s[k] * 255 + av / 2) / av));
        } else {
          d[0] = s[2];
          d[1] = s[1];
          d[2] = s[0];
        }
      }
    }
    if (opaque) mask = QImage();

    QByteArray icc;
    const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(h);
    if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
      const size_t n = heif_image_handle_get_raw_color_profile_size(h);
      if (n > 0 && n < (64u << 20)) {
        icc.resize(qsizetype(n));
        if (heif_image_handle_get_raw_color_profile(h, icc.data()).code != heif_error_Ok) icc.clear();
      }
    }
    progress.RowsDone(100);

    out.Bitmap = colour;
    out.Alpha = mask;
    out.Width = width;
    out.Height = height;
    const int bits = heif_image_handle_get_luma_bits_per_pixel(h);
    out.BitCount = std::min(32, std::max(8, bits) * (alpha ? 4 : 3));
    out.IccProfile = icc;
    out.Orientation = 1;  // libheif has turned the picture already
    return true;
  } catch (const std::exception&) {
    error = QStringLiteral("Not enough memory");
    return false;
  }
}
