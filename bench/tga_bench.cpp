// TGA decode and encode throughput on 4096 x 4096 images, as a ratio of our time to the
// reference library's time measured in the same run (below 1.0: we are faster).
#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "TgaTestWriter.h"
#include "tga/TargaImage.h"

namespace {

constexpr int kSize = 4096;

double Ms(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// Best time of each side over the rounds, the two sides taking turns so that a burst of load
// on a shared machine does not fall on one side only.
std::pair<double, double> BestMs(int rounds, const std::function<void()>& ours,
                                 const std::function<void()>& reference) {
  double bestOurs = 1e300, bestReference = 1e300;
  for (int i = 0; i < rounds; ++i) {
    bestOurs = std::min(bestOurs, Ms(ours));
    bestReference = std::min(bestReference, Ms(reference));
  }
  return {bestOurs, bestReference};
}

// A map-like picture: flat areas with noisy patches, so run-length files hold runs and raw
// stretches alike.
uint32_t Pixel(int x, int y, uint32_t& noise) {
  noise = noise * 1664525u + 1013904223u;
  const bool flat = ((x / 64) + (y / 48)) % 3 != 0;
  if (flat)
    return 0xFF000000u | uint32_t((x / 64) * 40 % 256) << 16 | uint32_t((y / 48) * 70 % 256) << 8 |
           0x30;
  return noise | 0xFF000000u;
}

struct Sample {
  std::string name;
  QByteArray file;
  QImage colour;  // for the encoders
  QImage alpha;
};

Sample TrueColourRle() {
  QImage image(kSize, kSize, QImage::Format_RGB32);
  uint32_t noise = 1;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) image.setPixel(x, y, Pixel(x, y, noise));
  TTarga targa;
  targa.SetBitmap(image);
  targa.SetTargaType(ttRLETrueColorImage);
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  targa.WriteTarga(out);
  return {"24-bit RLE", out.data(), image, QImage()};
}

Sample TrueColour32() {
  QImage image(kSize, kSize, QImage::Format_RGB32), alpha(kSize, kSize, QImage::Format_RGB32);
  uint32_t noise = 2;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      image.setPixel(x, y, Pixel(x, y, noise));
      alpha.setPixel(x, y, 0xFF000000u | 0x010101u * uint32_t((x ^ y) & 0xFF));
    }
  TTarga targa;
  targa.SetBitmap(image);
  targa.SetAlphaBitmap(alpha);
  targa.SetTargaType(ttTrueColorImage);
  targa.SetColorDepth(cd32bit);
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  targa.WriteTarga(out);
  return {"32-bit uncompressed", out.data(), image, alpha};
}

Sample ColourMappedRle() {
  tgatest::Tga t;
  t.colorMapType = 1;
  t.imageType = 9;
  t.cmapLength = 256;
  t.cmapDepth = 24;
  for (int i = 0; i < 256; ++i) t.colorMap += {char(i), char(255 - i), char(i * 7)};
  t.width = t.height = kSize;
  t.pixelDepth = 8;
  std::string indices(size_t(kSize) * kSize, '\0');
  uint32_t noise = 3;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x)
      indices[size_t(y) * kSize + x] = char(Pixel(x, y, noise) & 0xFF);
  t.data = tgatest::PackPixels(indices, 1);
  QByteArray file = QByteArray::fromStdString(t.Bytes());
  TTarga targa;
  QBuffer in(&file);
  in.open(QIODevice::ReadOnly);
  targa.ReadTarga(in);
  return {"8-bit colour-mapped RLE", file, targa.Bitmap(), QImage()};
}

// The reference writer streams through a callback; we write into a growing buffer in memory.
void Sink(void* context, void* data, int size) {
  static_cast<QByteArray*>(context)->append(static_cast<const char*>(data), size);
}

std::vector<uint8_t> Interleave(const QImage& colour, const QImage& alpha) {
  const int comps = alpha.isNull() ? 3 : 4;
  std::vector<uint8_t> out(size_t(kSize) * kSize * comps);
  uint8_t* p = out.data();
  for (int y = 0; y < kSize; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(colour.constScanLine(y));
    const auto* arow =
        alpha.isNull() ? nullptr : reinterpret_cast<const uint32_t*>(alpha.constScanLine(y));
    for (int x = 0; x < kSize; ++x) {
      *p++ = uint8_t(row[x] >> 16);
      *p++ = uint8_t(row[x] >> 8);
      *p++ = uint8_t(row[x]);
      if (arow) *p++ = uint8_t(arow[x]);
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::printf("TGA %d x %d, best of %d rounds; ratio = ours / stb (<= 1.0: not slower)\n", kSize,
              kSize, rounds);
  std::printf("%-9s %-26s %10s %10s %7s\n", "", "image", "ours ms", "stb ms", "ratio");
  bool decodeGoal = true;
  for (const Sample& s : {TrueColourRle(), TrueColour32(), ColourMappedRle()}) {
    const auto [ours, stb] = BestMs(
        rounds,
        [&] {
          QByteArray file = s.file;
          QBuffer in(&file);
          in.open(QIODevice::ReadOnly);
          TTarga targa;  // a fresh graphic each time, as stb allocates each time
          targa.ReadTarga(in);
          if (targa.Bitmap().width() != kSize) std::abort();
        },
        [&] {
          int w = 0, h = 0, c = 0;
          stbi_uc* pixels =
              stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(s.file.constData()),
                                    int(s.file.size()), &w, &h, &c, 0);
          if (!pixels || w != kSize) std::abort();
          stbi_image_free(pixels);
        });
    decodeGoal = decodeGoal && ours <= stb;
    std::printf("%-9s %-26s %10.1f %10.1f %7.2f\n", "decode", s.name.c_str(), ours, stb,
                ours / stb);
  }
  // Encoding: our two output forms against the reference writer's same forms.
  const Sample rle = TrueColourRle(), raw = TrueColour32();
  struct Encode {
    const char* name;
    const Sample& sample;
    bool rle;
  } encodes[] = {{"24-bit RLE", rle, true}, {"32-bit uncompressed", raw, false}};
  for (const Encode& e : encodes) {
    TTarga targa;
    targa.SetBitmap(e.sample.colour);
    if (!e.sample.alpha.isNull()) targa.SetAlphaBitmap(e.sample.alpha);
    targa.SetTargaType(e.rle ? ttRLETrueColorImage : ttTrueColorImage);
    targa.SetColorDepth(e.rle ? cd24bit : cd32bit);
    const std::vector<uint8_t> interleaved = Interleave(e.sample.colour, e.sample.alpha);
    stbi_write_tga_with_rle = e.rle ? 1 : 0;
    const int comps = e.sample.alpha.isNull() ? 3 : 4;
    const auto [ours, stb] = BestMs(
        rounds,
        [&] {
          QBuffer out;
          out.open(QIODevice::WriteOnly);
          targa.WriteTarga(out);
        },
        [&] {
          QByteArray out;
          if (!stbi_write_tga_to_func(Sink, &out, kSize, kSize, comps, interleaved.data()))
            std::abort();
        });
    std::printf("%-9s %-26s %10.1f %10.1f %7.2f\n", "encode", e.name, ours, stb, ours / stb);
  }
  std::printf("decode goal (ratio <= 1.0 on all three): %s\n", decodeGoal ? "met" : "NOT met");
  return 0;
}
