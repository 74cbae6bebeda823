// TGA decoding. Rows are converted straight into the bitmap rows through templated pixel
// converters, so the inner loops have no calls and no per-pixel format tests.
#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/LittleEndian.h"
#include "platform/Memory.h"
#include "tga/TargaImage.h"

namespace {

constexpr uint32_t kBlack = 0xFF000000u;

// Buffered reading over the stream. The decoder reads ahead in large blocks and gives back the
// bytes it did not use, so the stream ends up right after the last consumed byte.
class Input {
 public:
  explicit Input(QIODevice& device) : device_(device), buffer_(kBlock) {}

  // Makes n bytes available if the stream still has them; returns how many are available.
  size_t Ensure(size_t n) {
    size_t available = end_ - pos_;
    if (available >= n || eof_) return available;
    std::memmove(buffer_.data(), buffer_.data() + pos_, available);
    pos_ = 0;
    end_ = available;
    if (buffer_.size() < n) buffer_.resize(n);
    while (end_ < n && !eof_) {
      const qint64 got = device_.read(reinterpret_cast<char*>(buffer_.data() + end_),
                                      static_cast<qint64>(buffer_.size() - end_));
      if (got <= 0)
        eof_ = true;
      else
        end_ += static_cast<size_t>(got);
    }
    return end_;
  }
  const uint8_t* Data() const { return buffer_.data() + pos_; }
  void Consume(size_t n) { pos_ += std::min(n, end_ - pos_); }
  void Skip(size_t n) {
    while (n > 0) {
      const size_t step = std::min(Ensure(std::min(n, kBlock)), n);
      if (step == 0) return;
      Consume(step);
      n -= step;
    }
  }
  // Sets the stream back to just after the last consumed byte. A sequential device cannot go
  // back; what was read ahead from it is lost, which only matters if something follows.
  void Release() {
    const size_t unread = end_ - pos_;
    if (unread > 0 && !device_.isSequential()) device_.seek(device_.pos() - qint64(unread));
    pos_ = end_ = 0;
  }

 private:
  static constexpr size_t kBlock = size_t{1} << 16;
  QIODevice& device_;
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
};

inline uint32_t Bgr(uint32_t b, uint32_t g, uint32_t r) {
  return kBlack | r << 16 | g << 8 | b;
}
inline uint32_t Grey(uint32_t v) {
  return kBlack | v * 0x010101u;
}

// Pixel converters: colour of one file pixel as a bitmap word, and for 32-bit pixels the alpha
// as a grey word.
struct PalettePixel {
  static constexpr bool kAlpha = false;
  static constexpr size_t bytes = 1;
  const uint32_t* lut;
  uint32_t Colour(const uint8_t* p) const { return lut[p[0]]; }
  uint32_t Alpha(const uint8_t*) const { return kBlack; }
};
// Grey files of more than 8 bits a pixel (grey plus attribute) carry the grey value first.
struct GreyPixel {
  static constexpr bool kAlpha = false;
  size_t bytes;
  uint32_t Colour(const uint8_t* p) const { return Grey(p[0]); }
  uint32_t Alpha(const uint8_t*) const { return kBlack; }
};
// Five bits a channel, expanded as 8 * n; bit 15 (attribute) ignored.
struct Bgr16Pixel {
  static constexpr bool kAlpha = false;
  static constexpr size_t bytes = 2;
  uint32_t Colour(const uint8_t* p) const {
    const uint32_t v = p[0] | uint32_t(p[1]) << 8;
    return Bgr((v & 0x1F) << 3, ((v >> 5) & 0x1F) << 3, ((v >> 10) & 0x1F) << 3);
  }
  uint32_t Alpha(const uint8_t*) const { return kBlack; }
};
struct Bgr24Pixel {
  static constexpr bool kAlpha = false;
  static constexpr size_t bytes = 3;
  uint32_t Colour(const uint8_t* p) const { return Bgr(p[0], p[1], p[2]); }
  uint32_t Alpha(const uint8_t*) const { return kBlack; }
};
// Blue, green, red, alpha is the bitmap word's own layout read little-endian: one load a pixel.
struct Bgra32Pixel {
  static constexpr bool kAlpha = true;
  static constexpr size_t bytes = 4;
  uint32_t Colour(const uint8_t* p) const { return kBlack | qFromLittleEndian<uint32_t>(p); }
  uint32_t Alpha(const uint8_t* p) const { return Grey(p[3]); }
};

// Where decoded rows go: row r of the file lands in bitmap row r (top origin) or Height-1-r,
// and is mirrored when the file stores its pixels right to left.
struct Target {
  QImage& colour;
  QImage& alpha;
  bool writeAlpha;
  bool topOrigin;
  bool mirror;
  int width;
  int height;

  uint32_t* ColourRow(int r) const { return RowOf(colour, r); }
  uint32_t* AlphaRow(int r) const { return writeAlpha ? RowOf(alpha, r) : nullptr; }
  uint32_t* RowOf(QImage& image, int r) const {
    return reinterpret_cast<uint32_t*>(image.scanLine(topOrigin ? r : height - 1 - r));
  }
  // Pixels [done, width) of file row r got no data: black, then the row is finished.
  void FinishRow(int r, int done) const {
    uint32_t* row = ColourRow(r);
    std::fill(row + done, row + width, kBlack);
    if (mirror) std::reverse(row, row + width);
    if (uint32_t* arow = AlphaRow(r)) {
      std::fill(arow + done, arow + width, kBlack);
      if (mirror) std::reverse(arow, arow + width);
    }
  }
  void BlackFrom(int r) const {
    for (; r < height; ++r) FinishRow(r, 0);
  }
};

template <class Pixel>
inline void ConvertPixels(const Pixel& px, const uint8_t* src, size_t n, uint32_t* dst,
                          uint32_t* adst) {
  for (size_t i = 0; i < n; ++i, src += px.bytes) {
    dst[i] = px.Colour(src);
    if constexpr (Pixel::kAlpha) adst[i] = px.Alpha(src);
  }
}

template <class Pixel>
void DecodeRawRows(Input& in, const Pixel& px, const Target& t) {
  const size_t rowBytes = size_t(t.width) * px.bytes;
  for (int r = 0; r < t.height; ++r) {
    const size_t available = in.Ensure(rowBytes);
    const size_t n = std::min(available, rowBytes) / px.bytes;
    ConvertPixels(px, in.Data(), n, t.ColourRow(r), t.AlphaRow(r));
    in.Consume(rowBytes);
    t.FinishRow(r, int(n));
    if (n < size_t(t.width)) return t.BlackFrom(r + 1);
  }
}

// The packet being decoded; a packet that runs past the end of a row carries on in the next.
struct RlePacket {
  size_t left = 0;  // pixels still to come
  bool run = false;
  uint32_t colour = kBlack;
  uint32_t alpha = kBlack;
};

// Decodes the next `width` pixels of the packet stream into dst (and adst for 32-bit pixels).
// Returns the number of pixels written, less than width only when the data ends.
template <class Pixel>
size_t DecodeRleRow(Input& in, RlePacket& packet, const Pixel& px, size_t width, uint32_t* dst,
                    uint32_t* adst) {
  size_t x = 0;
  while (x < width) {
    if (packet.left == 0) {
      if (in.Ensure(1 + px.bytes) < 1) return x;
      const uint8_t header = in.Data()[0];
      packet.left = (header & 0x7Fu) + 1;
      packet.run = header & 0x80u;
      if (packet.run) {
        if (in.Ensure(1 + px.bytes) < 1 + px.bytes) {
          packet.left = 0;
          return x;
        }
        packet.colour = px.Colour(in.Data() + 1);
        if constexpr (Pixel::kAlpha) packet.alpha = px.Alpha(in.Data() + 1);
        in.Consume(1 + px.bytes);
      } else {
        in.Consume(1);
      }
    }
    const size_t n = std::min(packet.left, width - x);
    if (packet.run) {
      std::fill(dst + x, dst + x + n, packet.colour);
      if constexpr (Pixel::kAlpha) std::fill(adst + x, adst + x + n, packet.alpha);
    } else {
      const size_t got = std::min(in.Ensure(n * px.bytes) / px.bytes, n);
      ConvertPixels(px, in.Data(), got, dst + x, Pixel::kAlpha ? adst + x : nullptr);
      in.Consume(got * px.bytes);
      if (got < n) {
        packet.left = 0;
        return x + got;
      }
    }
    x += n;
    packet.left -= n;
  }
  return x;
}

template <class Pixel>
void DecodeRleRows(Input& in, const Pixel& px, const Target& t) {
  RlePacket packet;
  for (int r = 0; r < t.height; ++r) {
    const size_t n = DecodeRleRow(in, packet, px, size_t(t.width), t.ColourRow(r), t.AlphaRow(r));
    t.FinishRow(r, int(n));
    if (n < size_t(t.width)) return t.BlackFrom(r + 1);
  }
  // The last packet may reach past the last pixel: its surplus raw bytes belong to it.
  if (!packet.run) in.Skip(packet.left * px.bytes);
}

template <class Pixel>
void DecodeRows(Input& in, bool rle, const Pixel& px, const Target& t) {
  if (rle)
    DecodeRleRows(in, px, t);
  else
    DecodeRawRows(in, px, t);
}

TTargaPaletteEntry FromBgr(uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
  TTargaPaletteEntry e;
  e.Blue = b;
  e.Green = g;
  e.Red = r;
  e.Alpha = a;
  return e;
}

[[noreturn]] void RefuseSize(int width, int height) {
  throw Exception("TTarga: image too large (" + std::to_string(width) + " x " +
                  std::to_string(height) + " pixels)");
}

QImage AllocateBitmap(int width, int height) {
  if (width == 0 || height == 0) return QImage();
  if (int64_t(width) * height * 4 > TTarga::kMaxBitmapBytes) RefuseSize(width, height);
  // Large bitmaps on huge pages: a 4096 x 4096 image otherwise costs 16384 page faults, a good
  // part of its decoding time.
  if (void* memory = platform::AllocateOnHugePages(size_t(width) * size_t(height) * 4))
    return QImage(static_cast<uchar*>(memory), width, height, qsizetype(width) * 4,
                  QImage::Format_RGB32, std::free, memory);
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull())
    throw Exception("TTarga: not enough memory for an image of " + std::to_string(width) + " x " +
                    std::to_string(height) + " pixels");
  return image;
}

}  // namespace

void TTarga::ReadTarga(QIODevice& stream) {
  // No packet describes more than 128 pixels a byte, so a header of a type with pixel data
  // asking for more than that over the bytes that follow it cannot be backed by data: refused
  // before anything is allocated. Other types (0, no image data) need no bytes at all.
  const qint64 left = stream.isSequential() ? -1 : stream.size() - stream.pos();
  Input in(stream);
  uint8_t h[18] = {};
  const size_t got = std::min<size_t>(in.Ensure(18), 18);
  std::memcpy(h, in.Data(), got);
  in.Consume(18);

  const uint16_t width = platform::GetLe16(h + 12);
  const uint16_t height = platform::GetLe16(h + 14);
  const bool pixelData = (h[2] >= 1 && h[2] <= 3) || (h[2] >= 9 && h[2] <= 11);
  if (pixelData && left >= 0 && int64_t(width) * height > 128 * std::max<int64_t>(left - 18, 0))
    RefuseSize(width, height);
  // Allocate first: an image we cannot hold leaves the graphic as it was.
  QImage colour = AllocateBitmap(width, height);
  QImage alpha = AllocateBitmap(width, height);

  idLength_ = h[0];
  colorMapType_ = h[1];
  imageType_ = h[2];
  cMapStart_ = platform::GetLe16(h + 3);
  cMapLength_ = platform::GetLe16(h + 5);
  cMapDepth_ = h[7];
  xOrigin_ = platform::GetLe16(h + 8);
  yOrigin_ = platform::GetLe16(h + 10);
  width_ = width;
  height_ = height;
  pixelDepth_ = h[16];
  alphaBits_ = h[17] & 0x0F;
  rightOrigin_ = h[17] & 0x10;
  topOrigin_ = h[17] & 0x20;

  in.Skip(idLength_);

  // Colour map: at most kPaletteSize entries are kept, the rest skipped. Entries of a depth we
  // cannot interpret are skipped too, so the pixel data is still found.
  palette_.fill(TTargaPaletteEntry{});
  size_t kept = 0;
  if (colorMapType_ == 1) {
    const size_t entryBytes = (cMapDepth_ + 7u) / 8u;
    kept = std::min<size_t>(cMapLength_, kPaletteSize);
    for (size_t k = 0; k < kept && entryBytes > 0; ++k) {
      if (in.Ensure(entryBytes) < entryBytes) break;
      const uint8_t* p = in.Data();
      if (cMapDepth_ == 15 || cMapDepth_ == 16) {
        const uint16_t v = platform::GetLe16(p);
        palette_[k] = FromBgr(uint8_t((v & 0x1F) << 3), uint8_t(((v >> 5) & 0x1F) << 3),
                              uint8_t(((v >> 10) & 0x1F) << 3), 0);
      } else if (cMapDepth_ == 24) {
        palette_[k] = FromBgr(p[0], p[1], p[2], 0);
      } else if (cMapDepth_ == 32) {
        palette_[k] = FromBgr(p[0], p[1], p[2], p[3]);
      }
      in.Consume(entryBytes);
    }
    in.Skip((cMapLength_ - kept) * entryBytes);
  }

  enum class Kind { None, Palette, Grey, Bgr16, Bgr24, Bgra32 } kind = Kind::None;
  const bool rle = imageType_ >= 9;
  switch (imageType_) {
    case 0:
      targaType_ = ttNoImageData;
      break;
    case 1:
    case 9:
      targaType_ = rle ? ttRLEColorMapedImage : ttColorMapedImage;
      if (pixelDepth_ == 8) {
        kind = Kind::Palette;
        colorDepth_ = cd8bit;
        includeAlphaChannel_ = false;
      }
      break;
    case 2:
    case 10:
      targaType_ = rle ? ttRLETrueColorImage : ttTrueColorImage;
      if (pixelDepth_ == 15 || pixelDepth_ == 16) {
        kind = Kind::Bgr16;
        colorDepth_ = cd16bit;
        includeAlphaChannel_ = false;
      } else if (pixelDepth_ == 24) {
        kind = Kind::Bgr24;
        colorDepth_ = cd24bit;
        includeAlphaChannel_ = false;
      } else if (pixelDepth_ == 32) {
        kind = Kind::Bgra32;
        colorDepth_ = cd32bit;
        includeAlphaChannel_ = true;
      }
      break;
    case 3:
    case 11:
      targaType_ = rle ? ttRLEBlackAndWhiteImage : ttBlackAndWhiteImage;
      colorDepth_ = cd8bit;
      includeAlphaChannel_ = false;
      if (pixelDepth_ >= 8) kind = Kind::Grey;
      break;
    default:
      break;
  }

  Target target{colour, alpha, kind == Kind::Bgra32, topOrigin_, rightOrigin_, width, height};
  if (!target.writeAlpha && !alpha.isNull()) alpha.fill(kBlack);
  switch (kind) {
    case Kind::None:
      if (!colour.isNull()) colour.fill(kBlack);
      break;
    case Kind::Palette: {
      // Pixel index i reads map entry i - CMapStart; anything outside the map is black.
      uint32_t lut[256];
      for (size_t i = 0; i < 256; ++i) {
        const size_t entry = i - cMapStart_;
        lut[i] = (i >= cMapStart_ && entry < kept)
                     ? Bgr(palette_[entry].Blue, palette_[entry].Green, palette_[entry].Red)
                     : kBlack;
      }
      DecodeRows(in, rle, PalettePixel{lut}, target);
      break;
    }
    case Kind::Grey:
      DecodeRows(in, rle, GreyPixel{pixelDepth_ / 8u}, target);
      break;
    case Kind::Bgr16:
      DecodeRows(in, rle, Bgr16Pixel{}, target);
      break;
    case Kind::Bgr24:
      DecodeRows(in, rle, Bgr24Pixel{}, target);
      break;
    case Kind::Bgra32:
      DecodeRows(in, rle, Bgra32Pixel{}, target);
      break;
  }
  in.Release();
  bitmap_ = std::move(colour);
  alphaBitmap_ = std::move(alpha);
  if (OnTargaChange) OnTargaChange(this);
}
