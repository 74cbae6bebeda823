#include <gtest/gtest.h>

#include <QBuffer>

#include "TargaTestUtil.h"
#include "TestSupport.h"
#include "TgaTestWriter.h"
#include "platform/Exceptions.h"
#include "tga/TargaImage.h"

using namespace tgatest;

namespace {

std::string Header(int type, int w, int h, int depth) {
  Tga t;
  t.imageType = uint8_t(type);
  t.width = uint16_t(w);
  t.height = uint16_t(h);
  t.pixelDepth = uint8_t(depth);
  return t.Bytes();
}

std::string Bgr(uint32_t rgb) {
  return Bytes({int(rgb & 0xFF), int(rgb >> 8 & 0xFF), int(rgb >> 16)});
}

// Encodes one row of pixels (0xRRGGBB) with the run-length writer; returns the packets only.
std::string EncodeRow(const std::vector<uint32_t>& row) {
  QImage image(int(row.size()), 1, QImage::Format_RGB32);
  for (size_t x = 0; x < row.size(); ++x) image.setPixel(int(x), 0, 0xFF000000u | row[x]);
  TTarga targa;
  targa.SetBitmap(image);
  targa.SetTargaType(ttRLETrueColorImage);
  const std::string bytes = Encode(targa);
  EXPECT_EQ(bytes.substr(0, 18), Header(10, int(row.size()), 1, 24));
  return bytes.substr(18);
}

std::vector<uint32_t> Distinct(size_t n, uint32_t base = 0x010000) {
  std::vector<uint32_t> v;
  for (size_t i = 0; i < n; ++i) v.push_back(base + uint32_t(i));
  return v;
}

const uint32_t a = 0x112233, b = 0x445566, d = 0x778899;

}  // namespace

TEST(TargaEncode, UncompressedDepthsByteForByte) {
  TTarga targa;
  // Top row P Q, bottom row R S: the file starts with the bottom row.
  const uint32_t P = 0xFF8007, Q = 0x000000, R = 0x0F1F2F, S = 0xFFFFFF;
  targa.SetBitmap(MakeImage(2, 2, {P, Q, R, S}));
  targa.SetAlphaBitmap(MakeImage(2, 2, {0x000001, 0x000002, 0x000003, 0x0000FF}));

  targa.SetColorDepth(cd24bit);
  EXPECT_EQ(Encode(targa), Header(2, 2, 2, 24) + Bgr(R) + Bgr(S) + Bgr(P) + Bgr(Q));
  targa.SetColorDepth(cd8bit);
  EXPECT_EQ(Encode(targa), Header(2, 2, 2, 24) + Bgr(R) + Bgr(S) + Bgr(P) + Bgr(Q));

  // 5 bits a channel, bit 15 clear: R = (1, 3, 5), S = (31, 31, 31), P = (31, 16, 0).
  targa.SetColorDepth(cd16bit);
  EXPECT_EQ(Encode(targa), Header(2, 2, 2, 16) + Bytes({0x65, 0x04, 0xFF, 0x7F, 0x00, 0x7E, 0, 0}));

  // The alpha byte is the alpha bitmap's blue; the descriptor stays 0.
  targa.SetColorDepth(cd32bit);
  EXPECT_EQ(Encode(targa), Header(2, 2, 2, 32) + Bgr(R) + '\x03' + Bgr(S) + '\xFF' + Bgr(P) +
                               '\x01' + Bgr(Q) + '\x02');
}

TEST(TargaEncode, AlphaBitmapOfAnotherSizeIsResizedFirst) {
  TTarga targa;
  targa.SetBitmap(MakeImage(2, 1, {a, b}));
  targa.SetAlphaBitmap(MakeImage(1, 1, {0x000080}));
  targa.SetColorDepth(cd32bit);
  EXPECT_EQ(Encode(targa), Header(2, 2, 1, 32) + Bgr(a) + '\x80' + Bgr(b) + '\0');
  EXPECT_EQ(targa.AlphaBitmap().size(), QSize(2, 1));
}

TEST(TargaEncode, RunLengthExamples) {
  EXPECT_EQ(EncodeRow({a}), Bytes({0}) + Bgr(a));
  EXPECT_EQ(EncodeRow({a, b}), Bytes({1}) + Bgr(a) + Bgr(b));
  EXPECT_EQ(EncodeRow({a, a, b}), Bytes({0x81}) + Bgr(a) + Bytes({0}) + Bgr(b));
  EXPECT_EQ(EncodeRow({a, b, b}), Bytes({0}) + Bgr(a) + Bytes({0x81}) + Bgr(b));
  EXPECT_EQ(EncodeRow({a, b, b, d}),
            Bytes({0}) + Bgr(a) + Bytes({0x81}) + Bgr(b) + Bytes({0}) + Bgr(d));
  EXPECT_EQ(EncodeRow(std::vector<uint32_t>(129, a)), Bytes({0xFF}) + Bgr(a) + Bytes({0}) + Bgr(a));
  EXPECT_EQ(EncodeRow(std::vector<uint32_t>(130, a)),
            Bytes({0xFF}) + Bgr(a) + Bytes({0x81}) + Bgr(a));
  EXPECT_EQ(EncodeRow(std::vector<uint32_t>(256, a)),
            Bytes({0xFF}) + Bgr(a) + Bytes({0xFF}) + Bgr(a));
}

// A raw packet holding 127 pixels takes the next one even if it starts a run.
TEST(TargaEncode, RawPacketIsCompletedAt128Pixels) {
  std::vector<uint32_t> row = Distinct(127);
  row.insert(row.end(), {a, a, a});
  std::string raw;
  for (size_t i = 0; i < 127; ++i) raw += Bgr(row[i]);
  EXPECT_EQ(EncodeRow(row), Bytes({127}) + raw + Bgr(a) + Bytes({0x81}) + Bgr(a));

  // With 126 pixels before the run, the run starts its own packet.
  row.erase(row.begin());
  EXPECT_EQ(EncodeRow(row), Bytes({125}) + raw.substr(3) + Bytes({0x82}) + Bgr(a));

  // A raw stretch longer than 128 pixels is split.
  const std::vector<uint32_t> long_raw = Distinct(130);
  const std::string packets = EncodeRow(long_raw);
  ASSERT_EQ(packets.size(), 2 + 130 * 3u);
  EXPECT_EQ(uint8_t(packets[0]), 127);
  EXPECT_EQ(uint8_t(packets[1 + 128 * 3]), 1);
}

TEST(TargaEncode, RunLengthRoundTripKeepsEveryRow) {
  const int w = 300, h = 5;
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      // Row y: a run of 140 + y equal pixels, then distinct pixels, then a run to the end.
      uint32_t v = x < 140 + y ? 0x336699 : x < 280 ? uint32_t(x * 7919 + y) & 0xFFFFFF : 0x010101;
      image.setPixel(x, y, 0xFF000000u | v);
    }
  TTarga out;
  out.SetBitmap(image);
  out.SetTargaType(ttRLETrueColorImage);
  const std::string bytes = Encode(out);
  EXPECT_LT(bytes.size(), size_t(18 + w * h * 3));
  TTarga in;
  Decode(in, bytes);
  EXPECT_EQ(in.TargaType(), ttRLETrueColorImage);
  EXPECT_EQ(in.Bitmap(), image);
}

TEST(TargaEncode, ThirtyTwoBitRoundTripKeepsAlpha) {
  TTarga out;
  out.SetBitmap(MakeImage(2, 2, {a, b, d, a}));
  out.SetAlphaBitmap(MakeImage(2, 2, {0x101010, 0x202020, 0x303030, 0x404040}));
  out.SetColorDepth(cd32bit);
  TTarga in;
  Decode(in, Encode(out));
  EXPECT_TRUE(in.Equals(out));
  EXPECT_TRUE(in.IncludeAlphaChannel());
}

TEST(TargaEncode, StoredDataRoundTripAndSettings) {
  TTarga targa;
  targa.SetBitmap(MakeImage(2, 1, {a, b}));
  targa.SetAlphaBitmap(MakeImage(2, 1, {0x050505, 0x060606}));
  targa.SetTargaType(ttRLETrueColorImage);
  targa.SetColorDepth(cd16bit);
  QBuffer stored;
  stored.open(QIODevice::ReadWrite);
  targa.WriteStoredData(stored);
  EXPECT_EQ(targa.TargaType(), ttTrueColorImage);
  EXPECT_EQ(targa.ColorDepth(), cd32bit);
  const std::string bytes = stored.data().toStdString();
  EXPECT_EQ(bytes.substr(0, 7), "\x06TTarga");
  EXPECT_EQ(bytes.substr(7, 18), Header(2, 2, 1, 32));

  stored.seek(0);
  TTarga copy;
  copy.ReadStoredData(stored);
  EXPECT_TRUE(copy.Equals(targa));
  EXPECT_EQ(stored.pos(), stored.size());
}

TEST(TargaEncode, StoredDataWithLongClassNameOrBitmap) {
  TTarga source;
  source.SetBitmap(MakeImage(1, 1, {a}));
  QByteArray tga = QByteArray::fromStdString(Encode(source));

  // Class names up to 255 bytes are skipped, whatever the writer promised.
  QByteArray data = QByteArray(1, char(200)) + QByteArray(200, 'N') + tga;
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  TTarga targa;
  targa.ReadStoredData(buffer);
  EXPECT_EQ(Rgb(targa.Bitmap(), 0, 0), a);

  // "BM" after the class name: a Windows bitmap for the colour bitmap.
  QBuffer bmp;
  bmp.open(QIODevice::WriteOnly);
  ASSERT_TRUE(MakeImage(2, 1, {b, d}).save(&bmp, "BMP"));
  data = QByteArray(
             "\x03"
             "ABC") +
         bmp.data();
  QBuffer bmpStream(&data);
  bmpStream.open(QIODevice::ReadOnly);
  targa.ReadStoredData(bmpStream);
  EXPECT_EQ(targa.Bitmap().format(), QImage::Format_RGB32);
  EXPECT_EQ(Rgb(targa.Bitmap(), 1, 0), d);

  data = QByteArray(
      "\x00"
      "BMnonsense",
      11);
  QBuffer bad(&data);
  bad.open(QIODevice::ReadOnly);
  EXPECT_THROW(targa.ReadStoredData(bad), Exception);
}

TEST(TargaEncode, HasStoredDataWithAndWithoutAncestor) {
  TTarga empty, image, same, other;
  image.SetBitmap(MakeImage(1, 1, {a}));
  same.SetBitmap(MakeImage(1, 1, {a}));
  other.SetBitmap(MakeImage(1, 1, {b}));
  EXPECT_FALSE(empty.HasStoredData(nullptr));
  EXPECT_TRUE(image.HasStoredData(nullptr));
  EXPECT_FALSE(image.HasStoredData(&same));
  EXPECT_TRUE(image.HasStoredData(&other));
  EXPECT_TRUE(image.HasStoredData(&empty));
  EXPECT_FALSE(empty.HasStoredData(&empty));
}

TEST(TargaEncode, ClipboardBlock) {
  TTarga source;
  source.SetBitmap(MakeImage(2, 1, {a, b}));
  uint16_t format = 0;
  QByteArray block;
  uint32_t palette = 7;
  source.WriteClipboardBlock(format, block, palette);
  EXPECT_EQ(format, 20);
  EXPECT_EQ(palette, 0u);
  EXPECT_EQ(block.mid(0, 4), QByteArray("\x18\0\0\0", 4));
  EXPECT_EQ(block.mid(4).toStdString(), Encode(source));

  TTarga targa;
  targa.ReadClipboardBlock(2, &block, 0);
  targa.ReadClipboardBlock(20, nullptr, 0);
  EXPECT_TRUE(targa.IsEmpty());
  targa.ReadClipboardBlock(20, &block, 0);
  EXPECT_TRUE(targa.Equals(source));

  // A size beyond the block decodes what is there.
  QByteArray lying = block;
  lying[3] = '\x7F';
  TTarga partial;
  partial.ReadClipboardBlock(20, &lying, 0);
  EXPECT_EQ(Rgb(partial.Bitmap(), 1, 0), b);
}

TEST(TargaEncode, FilesAndCopies) {
  vvtest::TempDir dir;
  TTarga targa;
  targa.SetBitmap(MakeImage(2, 1, {a, b}));
  targa.SaveTargaFile(dir / "Map.TGA");
  EXPECT_EQ(vvtest::ReadFile(dir / "Map.TGA"), Encode(targa));
  targa.SaveTargaFile(dir / "map.Bmp");
  // A 32-bit Windows bitmap: 54 header bytes, then bottom-up rows of blue, green, red, x.
  const std::string bmp = vvtest::ReadFile(dir / "map.Bmp");
  ASSERT_EQ(bmp.size(), 54u + 2 * 4);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(bmp[28], 32);
  EXPECT_EQ(QImage(QString::fromStdString(dir / "map.Bmp")).pixel(1, 0) & 0xFFFFFFu, b);

  TTarga loaded;
  int changes = 0;
  loaded.OnTargaChange = [&](TTarga*) { ++changes; };
  loaded.LoadTargaFile(dir / "MAP.tga");  // names match without regard to case
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(loaded.Equals(targa));
  EXPECT_EQ(loaded.ImageWidth(), 2);
  EXPECT_THROW(loaded.LoadTargaFile(dir / "missing.tga"), EInOutError);
  EXPECT_EQ(loaded.ImageWidth(), 2);

  // CopyFrom takes the bitmaps only: no header, no settings, no callback.
  TTarga copy;
  copy.OnTargaChange = [&](TTarga*) { ++changes; };
  copy.CopyFrom(&loaded);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(copy.Bitmap(), loaded.Bitmap());
  EXPECT_EQ(copy.ImageWidth(), 0);
  EXPECT_EQ(copy.TargaType(), ttNoImageData);
  EXPECT_THROW(copy.CopyFrom(nullptr), EConvertError);

  int publicChanges = 0;
  copy.OnChange = [&](TTarga*) { ++publicChanges; };
  copy.NotifyChanged();
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(publicChanges, 1);
}
