#include <gtest/gtest.h>

#include "TargaTestUtil.h"
#include "TgaTestWriter.h"
#include "platform/Exceptions.h"
#include "tga/TargaImage.h"

using namespace tgatest;

namespace {

std::string Px24(uint32_t rgb) {
  return Bytes({int(rgb & 0xFF), int(rgb >> 8 & 0xFF), int(rgb >> 16)});
}
std::string Px32(uint32_t rgb, int alpha) {
  return Px24(rgb) + char(alpha);
}

Tga TrueColour(uint16_t w, uint16_t h, uint8_t depth, std::string data, uint8_t type = 2) {
  Tga t;
  t.imageType = type;
  t.width = w;
  t.height = h;
  t.pixelDepth = depth;
  t.data = std::move(data);
  return t;
}

const uint32_t A = 0x102030, B = 0x405060, C = 0x708090, D = 0xA0B0C0;

}  // namespace

// File rows are A B / C D; descriptor bit 5 decides the row order, bit 4 mirrors each row.
TEST(TargaDecode, DescriptorDecidesRowOrderAndMirroring) {
  struct Case {
    uint8_t descriptor;
    uint32_t topLeft, topRight, bottomLeft, bottomRight;
  } cases[] = {
      {0x00, C, D, A, B},  // bottom-up
      {0x20, A, B, C, D},  // top-down
      {0x10, D, C, B, A},  // bottom-up, right to left
      {0x30, B, A, D, C},  // top-down, right to left
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.descriptor));
    Tga t = TrueColour(2, 2, 24, Px24(A) + Px24(B) + Px24(C) + Px24(D));
    t.descriptor = c.descriptor;
    TTarga targa;
    Decode(targa, t.Bytes());
    const QImage& bmp = targa.Bitmap();
    EXPECT_EQ(Rgb(bmp, 0, 0), c.topLeft);
    EXPECT_EQ(Rgb(bmp, 1, 0), c.topRight);
    EXPECT_EQ(Rgb(bmp, 0, 1), c.bottomLeft);
    EXPECT_EQ(Rgb(bmp, 1, 1), c.bottomRight);
    EXPECT_EQ(targa.TopOrigin(), bool(c.descriptor & 0x20));
    EXPECT_EQ(targa.RightOrigin(), bool(c.descriptor & 0x10));
  }
}

TEST(TargaDecode, TrueColourDepthsSetSettingsAndAlpha) {
  TTarga targa;
  Tga t32 = TrueColour(2, 1, 32, Px32(A, 0x11) + Px32(B, 0xEE));
  t32.descriptor = 0x28;
  Decode(targa, t32.Bytes());
  EXPECT_EQ(targa.TargaType(), ttTrueColorImage);
  EXPECT_EQ(targa.ColorDepth(), cd32bit);
  EXPECT_TRUE(targa.IncludeAlphaChannel());
  EXPECT_EQ(targa.AlphaBits(), 8);
  EXPECT_EQ(Rgb(targa.Bitmap(), 0, 0), A);
  EXPECT_EQ(Rgb(targa.AlphaBitmap(), 0, 0), 0x111111u);
  EXPECT_EQ(Rgb(targa.AlphaBitmap(), 1, 0), 0xEEEEEEu);

  // A 24-bit image after it: the alpha bitmap holds no stale alpha.
  Decode(targa, TrueColour(2, 1, 24, Px24(C) + Px24(D)).Bytes());
  EXPECT_EQ(targa.ColorDepth(), cd24bit);
  EXPECT_FALSE(targa.IncludeAlphaChannel());
  EXPECT_EQ(Rgb(targa.Bitmap(), 1, 0), D);
  EXPECT_EQ(Rgb(targa.AlphaBitmap(), 0, 0), 0u);
  EXPECT_EQ(targa.Bitmap().format(), QImage::Format_RGB32);
  EXPECT_EQ(targa.AlphaBitmap().size(), QSize(2, 1));
}

TEST(TargaDecode, SixteenBitPixelsExpandFiveBitChannels) {
  for (uint8_t depth : {15, 16}) {
    TTarga targa;
    const std::string words = Bytes({0xFF, 0x7F, 0x00, 0x80, 0x1F, 0x00, 0xE0, 0x83});
    Decode(targa, TrueColour(4, 1, depth, words).Bytes());
    EXPECT_EQ(targa.ColorDepth(), cd16bit);
    EXPECT_EQ(Rgb(targa.Bitmap(), 0, 0), 0xF8F8F8u);  // 0x7FFF
    EXPECT_EQ(Rgb(targa.Bitmap(), 1, 0), 0u);         // 0x8000: bit 15 is no colour
    EXPECT_EQ(Rgb(targa.Bitmap(), 2, 0), 0x0000F8u);  // blue only
    EXPECT_EQ(Rgb(targa.Bitmap(), 3, 0), 0x00F800u);  // 0x83E0: green only
  }
}

TEST(TargaDecode, ColourMapsOfEveryDepth) {
  struct Case {
    uint8_t depth;
    std::string entry0, entry1;
    uint32_t colour0, colour1;
  } cases[] = {
      {15, Bytes({0x1F, 0x00}), Bytes({0x00, 0x7C}), 0x0000F8, 0xF80000},
      {16, Bytes({0xE0, 0x83}), Bytes({0xFF, 0xFF}), 0x00F800, 0xF8F8F8},
      {24, Px24(A), Px24(B), A, B},
      {32, Px32(C, 7), Px32(D, 9), C, D},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.depth));
    Tga t = TrueColour(3, 1, 8, Bytes({1, 0, 1}), 1);
    t.colorMapType = 1;
    t.cmapLength = 2;
    t.cmapDepth = c.depth;
    t.colorMap = c.entry0 + c.entry1;
    TTarga targa;
    Decode(targa, t.Bytes());
    EXPECT_EQ(targa.TargaType(), ttColorMapedImage);
    EXPECT_EQ(targa.ColorDepth(), cd8bit);
    EXPECT_EQ(Rgb(targa.Bitmap(), 0, 0), c.colour1);
    EXPECT_EQ(Rgb(targa.Bitmap(), 1, 0), c.colour0);
    EXPECT_EQ(Rgb(targa.Bitmap(), 2, 0), c.colour1);
  }
}

// Index i reads entry i - CMapStart; indices outside the map are black.
TEST(TargaDecode, ColourMapStartAndIndicesOutsideTheMap) {
  Tga t = TrueColour(4, 1, 8, Bytes({5, 6, 4, 7}), 1);
  t.colorMapType = 1;
  t.cmapStart = 5;
  t.cmapLength = 2;
  t.cmapDepth = 24;
  t.colorMap = Px24(A) + Px24(B);
  TTarga targa;
  Decode(targa, t.Bytes());
  EXPECT_EQ(targa.CMapStart(), 5);
  EXPECT_EQ(Rgb(targa.Bitmap(), 0, 0), A);
  EXPECT_EQ(Rgb(targa.Bitmap(), 1, 0), B);
  EXPECT_EQ(Rgb(targa.Bitmap(), 2, 0), 0u);
  EXPECT_EQ(Rgb(targa.Bitmap(), 3, 0), 0u);
  EXPECT_EQ(targa.Palette()[0].Red, A >> 16);
}

// A map longer than the palette keeps 1000 entries and skips the rest, so the pixels are found.
TEST(TargaDecode, LongColourMapIsTruncatedAndSkipped) {
  std::string map;
  for (int k = 0; k < 1200; ++k) map += Px24(uint32_t(k) * 0x10101u & 0xFFFFFF);
  Tga t = TrueColour(2, 1, 8, Bytes({3, 250}), 9);
  t.colorMapType = 1;
  t.cmapLength = 1200;
  t.cmapDepth = 24;
  t.colorMap = map;
  t.data = RawPacket(Bytes({3, 250}), 1);
  TTarga targa;
  Decode(targa, t.Bytes());
  EXPECT_EQ(targa.CMapLength(), 1200);
  EXPECT_EQ(Rgb(targa.Bitmap(), 0, 0), 0x030303u);
  EXPECT_EQ(Rgb(targa.Bitmap(), 1, 0), 0xFAFAFAu);
  EXPECT_EQ(targa.Palette()[999].Blue, 999 & 0xFF);
}

// A map of a depth we cannot read is still skipped.
TEST(TargaDecode, UnknownColourMapDepthIsSkipped) {
  Tga t = TrueColour(1, 1, 24, Px24(A));
  t.colorMapType = 1;
  t.cmapLength = 3;
  t.cmapDepth = 8;
  t.colorMap = "xyz";
  TTarga targa;
  Decode(targa, t.Bytes());
  EXPECT_EQ(Rgb(targa.Bitmap(), 0, 0), A);
}

TEST(TargaDecode, GreyAndRunLengthTypes) {
  TTarga targa;
  Decode(targa, TrueColour(3, 1, 8, Bytes({0, 0x80, 0xFF}), 3).Bytes());
  EXPECT_EQ(targa.TargaType(), ttBlackAndWhiteImage);
  EXPECT_EQ(Rgb(targa.Bitmap(), 1, 0), 0x808080u);
  EXPECT_EQ(Rgb(targa.Bitmap(), 2, 0), 0xFFFFFFu);

  Decode(targa,
         TrueColour(4, 1, 8, RunPacket(3, Bytes({7})) + RawPacket(Bytes({9}), 1), 11).Bytes());
  EXPECT_EQ(targa.TargaType(), ttRLEBlackAndWhiteImage);
  EXPECT_EQ(Rgb(targa.Bitmap(), 2, 0), 0x070707u);
  EXPECT_EQ(Rgb(targa.Bitmap(), 3, 0), 0x090909u);

  Decode(targa, TrueColour(3, 1, 24, RawPacket(Px24(A), 3) + RunPacket(2, Px24(B)), 10).Bytes());
  EXPECT_EQ(targa.TargaType(), ttRLETrueColorImage);
  EXPECT_EQ(Rgb(targa.Bitmap(), 0, 0), A);
  EXPECT_EQ(Rgb(targa.Bitmap(), 2, 0), B);

  Tga t32 = TrueColour(2, 1, 32, RunPacket(2, Px32(C, 0x40)), 10);
  Decode(targa, t32.Bytes());
  EXPECT_EQ(targa.ColorDepth(), cd32bit);
  EXPECT_EQ(Rgb(targa.AlphaBitmap(), 1, 0), 0x404040u);

  Tga cm = TrueColour(3, 1, 8, RunPacket(2, Bytes({1})) + RawPacket(Bytes({0}), 1), 9);
  cm.colorMapType = 1;
  cm.cmapLength = 2;
  cm.cmapDepth = 24;
  cm.colorMap = Px24(C) + Px24(D);
  Decode(targa, cm.Bytes());
  EXPECT_EQ(targa.TargaType(), ttRLEColorMapedImage);
  EXPECT_EQ(Rgb(targa.Bitmap(), 1, 0), D);
  EXPECT_EQ(Rgb(targa.Bitmap(), 2, 0), C);
}

// Grey pixels of 16 bits carry the grey value first and an attribute byte after it.
TEST(TargaDecode, SixteenBitGreyTakesTheGreyByte) {
  TTarga targa;
  Decode(targa, TrueColour(2, 1, 16, Bytes({0x40, 0xFF, 0x90, 0x00}), 3).Bytes());
  EXPECT_EQ(Rgb(targa.Bitmap(), 0, 0), 0x404040u);
  EXPECT_EQ(Rgb(targa.Bitmap(), 1, 0), 0x909090u);
  Decode(targa,
         TrueColour(3, 1, 16, RunPacket(2, Bytes({0x55, 0x01})) + RawPacket(Bytes({0x66, 0x02}), 2),
                    11)
             .Bytes());
  EXPECT_EQ(Rgb(targa.Bitmap(), 1, 0), 0x555555u);
  EXPECT_EQ(Rgb(targa.Bitmap(), 2, 0), 0x666666u);
}

TEST(TargaDecode, ImageIdIsSkipped) {
  Tga plain = TrueColour(2, 2, 24, Px24(A) + Px24(B) + Px24(C) + Px24(D));
  Tga withId = plain;
  withId.id = std::string(255, '\x81');
  TTarga a, b;
  Decode(a, plain.Bytes());
  Decode(b, withId.Bytes());
  EXPECT_EQ(b.IDLength(), 255);
  EXPECT_EQ(a.Bitmap(), b.Bitmap());
}

TEST(TargaDecode, NoImageDataAndUnknownTypesTakeTheHeaderSize) {
  TTarga targa;
  Decode(targa, TrueColour(1, 1, 24, Px24(A)).Bytes());
  Tga noData = TrueColour(5, 3, 24, "", 0);
  noData.id = "?";  // one byte after the header may stand for up to 128 pixels
  Decode(targa, noData.Bytes());
  EXPECT_EQ(targa.TargaType(), ttNoImageData);
  EXPECT_EQ(targa.Bitmap().size(), QSize(5, 3));
  EXPECT_EQ(Rgb(targa.Bitmap(), 0, 0), 0u);
  // No pixels, so nothing after the header need back its size.
  Decode(targa, TrueColour(1000, 1000, 24, "", 0).Bytes());
  EXPECT_EQ(targa.Bitmap().size(), QSize(1000, 1000));

  targa.SetTargaType(ttRLETrueColorImage);
  targa.SetColorDepth(cd16bit);
  Decode(targa, TrueColour(4, 2, 24, Px24(A), 5).Bytes());
  EXPECT_EQ(targa.TargaType(), ttRLETrueColorImage);
  EXPECT_EQ(targa.ColorDepth(), cd16bit);
  EXPECT_EQ(targa.Bitmap().size(), QSize(4, 2));
  EXPECT_EQ(targa.AlphaBitmap().size(), QSize(4, 2));

  // Type 2 with a depth it cannot decode: the type is taken, the depth settings are not.
  Decode(targa, TrueColour(2, 2, 8, "abcd", 2).Bytes());
  EXPECT_EQ(targa.TargaType(), ttTrueColorImage);
  EXPECT_EQ(targa.ColorDepth(), cd16bit);
  EXPECT_EQ(Rgb(targa.Bitmap(), 1, 1), 0u);
}

TEST(TargaDecode, RunLengthConsumesWholePacketsOnly) {
  for (uint8_t depth : {8, 16, 24, 32}) {
    SCOPED_TRACE(int(depth));
    const size_t b = depth / 8;
    const std::string p1(b, '\x11'), p2(b, '\x22'), p3(b, '\x33');
    Tga t =
        TrueColour(130, 1, depth, RunPacket(128, p1) + RawPacket(p2 + p3, b), depth == 8 ? 11 : 10);
    t.data += "trailing bytes";
    TTarga targa;
    EXPECT_EQ(Decode(targa, t.Bytes()), qint64(18 + 1 + b + 1 + 2 * b));
    EXPECT_EQ(targa.Bitmap().pixel(127, 0), targa.Bitmap().pixel(0, 0));
    EXPECT_NE(targa.Bitmap().pixel(128, 0), targa.Bitmap().pixel(129, 0));
  }
}

// Packets may run over the end of a row into the next, never past the last pixel.
TEST(TargaDecode, RunLengthPacketsCarryOverRows) {
  Tga t = TrueColour(
      3, 2, 24, RunPacket(4, Px24(A)) + RawPacket(Px24(B) + Px24(C) + Px24(D) + Px24(D), 3), 10);
  t.descriptor = 0x20;
  t.data += "next";
  TTarga targa;
  const qint64 end = Decode(targa, t.Bytes());
  EXPECT_EQ(end, qint64(t.Bytes().size() - 4));
  const QImage& bmp = targa.Bitmap();
  EXPECT_EQ(Rgb(bmp, 2, 0), A);
  EXPECT_EQ(Rgb(bmp, 0, 1), A);
  EXPECT_EQ(Rgb(bmp, 1, 1), B);
  EXPECT_EQ(Rgb(bmp, 2, 1), C);
}

// Missing pixel data decodes as black, even where an earlier image of the same size was white.
TEST(TargaDecode, TruncatedDataLeavesBlackPixels) {
  const std::string white = Repeat(Px32(0xFFFFFF, 0xFF), 12);
  for (uint8_t type : {2, 10}) {
    SCOPED_TRACE(int(type));
    TTarga targa;
    Decode(targa,
           TrueColour(4, 3, 32, type == 2 ? white : RunPacket(12, Px32(0xFFFFFF, 0xFF)), type)
               .Bytes());
    const std::string partial =
        type == 2 ? Px32(A, 1) + Px32(B, 2) + Px32(C, 3) + Px32(D, 4) + Px32(A, 5) + "\x01\x02"
                  : RunPacket(5, Px32(A, 1)) + RawPacket(Px32(B, 2) + Px32(C, 3), 4).substr(0, 7);
    Decode(targa, TrueColour(4, 3, 32, partial, type).Bytes());
    const QImage& bmp = targa.Bitmap();
    // File row 0 is the bottom row; five pixels arrived (six for the run-length case's raw pixel).
    EXPECT_EQ(Rgb(bmp, 0, 2), A);
    EXPECT_EQ(Rgb(bmp, 0, 1), A);
    EXPECT_EQ(Rgb(bmp, 2, 1), 0u);
    EXPECT_EQ(Rgb(bmp, 3, 0), 0u);
    EXPECT_EQ(Rgb(targa.AlphaBitmap(), 3, 0), 0u);
    EXPECT_EQ(Rgb(targa.AlphaBitmap(), 0, 1), type == 2 ? 0x050505u : 0x010101u);
  }
}

TEST(TargaDecode, EmptyOrShortStreamsDecodeToNothing) {
  TTarga targa;
  int changes = 0;
  targa.OnTargaChange = [&](TTarga* sender) {
    EXPECT_EQ(sender, &targa);
    ++changes;
  };
  Decode(targa, "");
  Decode(targa, std::string("\0\0\x02\0\0\0\0\0\0\0\0\0\x05", 13));
  EXPECT_TRUE(targa.IsEmpty());
  EXPECT_EQ(changes, 2);
}

TEST(TargaDecode, ImageTooLargeToHoldRaisesAndKeepsTheGraphic) {
  TTarga targa;
  Decode(targa, TrueColour(1, 1, 24, Px24(A)).Bytes());
  bool called = false;
  targa.OnTargaChange = [&](TTarga*) { called = true; };
  EXPECT_THROW(Decode(targa, TrueColour(65535, 65535, 24, "").Bytes()), Exception);
  EXPECT_FALSE(called);
  EXPECT_EQ(targa.Width(), 1);
  EXPECT_EQ(Rgb(targa.Bitmap(), 0, 0), A);
}

// No packet describes more than 128 pixels a byte: a header asking for more than the data after
// it can back is refused before anything is allocated; within the bound, missing data is black.
TEST(TargaDecode, HeaderThatTheDataCannotBackIsRefused) {
  TTarga targa;
  Decode(targa, TrueColour(1, 1, 24, Px24(A)).Bytes());
  EXPECT_THROW(Decode(targa, TrueColour(16384, 4096, 24, "").Bytes()), Exception);
  try {
    Decode(targa, TrueColour(129, 1, 8, "\x01", 3).Bytes());
    ADD_FAILURE() << "129 pixels on one byte were decoded";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TTarga: image too large (129 x 1 pixels)");
  }
  EXPECT_EQ(targa.Width(), 1);

  Decode(targa, TrueColour(128, 1, 8, "\x80", 3).Bytes());
  EXPECT_EQ(Rgb(targa.Bitmap(), 0, 0), 0x808080u);
  EXPECT_EQ(Rgb(targa.Bitmap(), 127, 0), 0u);
}

// Large bitmaps live in memory of their own; copies must outlive the graphic that decoded them.
TEST(TargaDecode, LargeImageOutlivesItsDecoder) {
  const uint16_t w = 1024, h = 1100;
  std::string packets;
  for (int r = 0; r < h; ++r)
    packets += RunPacket(128, Px24(uint32_t(r))) + Repeat(RunPacket(128, Px24(A)), 7);
  QImage copy;
  {
    TTarga targa;
    Decode(targa, TrueColour(w, h, 24, packets, 10).Bytes());
    copy = targa.Bitmap();
    TTarga other;
    other.CopyFrom(&targa);
    EXPECT_TRUE(other.Equals(targa));
  }
  EXPECT_EQ(Rgb(copy, 0, h - 1), 0u);
  EXPECT_EQ(Rgb(copy, 5, 0), uint32_t(h - 1));
  EXPECT_EQ(Rgb(copy, w - 1, 0), A);
  copy.setPixel(0, 0, 0xFF123456u);
  EXPECT_EQ(Rgb(copy, 0, 0), 0x123456u);
}
