// TGA encoding: uncompressed true colour (ImageType 2) or run-length 24-bit (ImageType 10),
// always stored bottom-up with descriptor 0.
#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/LittleEndian.h"
#include "tga/TargaImage.h"

namespace {

constexpr size_t kMaxPacket = 128;

inline bool SamePixel(uint32_t a, uint32_t b) {
  return ((a ^ b) & 0x00FFFFFFu) == 0;
}

inline uint8_t* PutPixel(uint8_t* out, uint32_t p) {
  out[0] = uint8_t(p);
  out[1] = uint8_t(p >> 8);
  out[2] = uint8_t(p >> 16);
  return out + 3;
}

// Greedy run-length encoding of one row of 24-bit pixels (bitmap words; the fourth byte is not
// written). Two or more equal pixels make a run packet, everything else raw packets; no packet
// is longer than 128 pixels or crosses the row's end. Returns the bytes written (at most
// 4 per pixel).
size_t EncodeRleRow(const uint32_t* row, size_t width, uint8_t* out) {
  uint8_t* const start = out;
  size_t i = 0;
  while (i < width) {
    if (i + 1 < width && SamePixel(row[i], row[i + 1])) {
      size_t count = 2;
      while (count < kMaxPacket && i + count < width && SamePixel(row[i + count], row[i])) ++count;
      *out++ = uint8_t(0x80 + count - 1);
      out = PutPixel(out, row[i]);
      i += count;
    } else {
      uint8_t* const header = out++;
      size_t count = 0;
      // A pixel equal to its successor starts the next run, except that it completes a raw
      // packet that already holds 127 pixels.
      while (i < width && count < kMaxPacket) {
        if (count > 0 && count < kMaxPacket - 1 && i + 1 < width && SamePixel(row[i], row[i + 1]))
          break;
        out = PutPixel(out, row[i]);
        ++count;
        ++i;
      }
      *header = uint8_t(count - 1);
    }
  }
  return size_t(out - start);
}

void WriteAll(QIODevice& stream, const void* data, size_t size) {
  if (size > 0 && stream.write(static_cast<const char*>(data), qint64(size)) != qint64(size))
    throw EInOutError("Stream write error");
}

void WriteHeader(QIODevice& stream, uint8_t imageType, int width, int height, uint8_t depth) {
  if (width > 0xFFFF || height > 0xFFFF)
    throw Exception("TTarga: image too large for TGA (" + std::to_string(width) + " x " +
                    std::to_string(height) + " pixels)");
  uint8_t h[18] = {};
  h[2] = imageType;
  platform::PutLe16(h + 12, uint16_t(width));
  platform::PutLe16(h + 14, uint16_t(height));
  h[16] = depth;
  WriteAll(stream, h, sizeof h);
}

const uint32_t* Row(const QImage& image, int y) {
  return reinterpret_cast<const uint32_t*>(image.constScanLine(y));
}

}  // namespace

void TTarga::WriteTarga(QIODevice& stream) {
  if (targaType_ == ttRLETrueColorImage)
    WriteRle(stream);
  else
    WriteUncompressed(stream);
}

void TTarga::WriteRle(QIODevice& stream) {
  const int width = bitmap_.width();
  const int height = bitmap_.height();
  WriteHeader(stream, 10, width, height, 24);
  std::vector<uint8_t> packed(6 * size_t(width));
  for (int y = height - 1; y >= 0; --y)
    WriteAll(stream, packed.data(), EncodeRleRow(Row(bitmap_, y), size_t(width), packed.data()));
}

void TTarga::WriteUncompressed(QIODevice& stream) {
  const int width = bitmap_.width();
  const int height = bitmap_.height();
  if (alphaBitmap_.size() != bitmap_.size()) {
    // Keep what overlaps; new area is black.
    QImage resized;
    if (!bitmap_.isNull()) {
      resized = QImage(bitmap_.size(), QImage::Format_RGB32);
      resized.fill(0xFF000000u);
      const int w = std::min(width, alphaBitmap_.width());
      for (int y = 0; y < std::min(height, alphaBitmap_.height()); ++y)
        std::memcpy(resized.scanLine(y), alphaBitmap_.constScanLine(y), size_t(w) * 4);
    }
    alphaBitmap_ = resized;
  }
  const size_t bytes = colorDepth_ == cd16bit ? 2 : colorDepth_ == cd32bit ? 4 : 3;
  WriteHeader(stream, 2, width, height, uint8_t(8 * bytes));
  std::vector<uint8_t> line(bytes * size_t(width));
  for (int y = height - 1; y >= 0; --y) {
    const uint32_t* src = Row(bitmap_, y);
    uint8_t* out = line.data();
    if (bytes == 2) {
      for (int x = 0; x < width; ++x, out += 2) {
        const uint32_t p = src[x];
        platform::PutLe16(
            out, uint16_t(((p & 0xFF) >> 3) | ((p >> 11) & 0x1F) << 5 | ((p >> 19) & 0x1F) << 10));
      }
    } else if (bytes == 3) {
      for (int x = 0; x < width; ++x) out = PutPixel(out, src[x]);
    } else {
      const uint32_t* alpha = Row(alphaBitmap_, y);
      for (int x = 0; x < width; ++x) {
        out = PutPixel(out, src[x]);
        *out++ = uint8_t(alpha[x]);
      }
    }
    WriteAll(stream, line.data(), line.size());
  }
}
