#pragma once
// TTarga: a Truevision TGA image held as two 32-bit bitmaps (colour and alpha shown as grey).
// Decodes image types 0, 1, 2, 3, 9, 10 and 11; encodes uncompressed true colour (16, 24 or
// 32 bits a pixel) or run-length encoded 24-bit true colour. No footer or extension area.
// GUI-free apart from QImage, so the conversion chain can use it without a display.
#include <QImage>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

class QByteArray;
class QIODevice;
class QPainter;
class QRect;

enum TTargaType : uint8_t {
  ttNoImageData,
  ttColorMapedImage,
  ttTrueColorImage,
  ttBlackAndWhiteImage,
  ttRLEColorMapedImage,
  ttRLETrueColorImage,
  ttRLEBlackAndWhiteImage
};

enum TTargaColorDepthType : uint8_t { cd8bit, cd16bit, cd24bit, cd32bit };

enum TTargaViewType : uint8_t { tvBitmap, tvAlphaChannel, tvUseAlphaChannel };

struct TTargaPaletteEntry {
  uint8_t Red = 0;
  uint8_t Green = 0;
  uint8_t Blue = 0;
  uint8_t Alpha = 0;
};

class TTarga {
 public:
  static constexpr int kPaletteSize = 1000;
  static constexpr uint16_t kClipboardFormat = 20;
  // Name of the raw-bytes property under which a form stores the image.
  static constexpr const char* kStoredDataName = "Data";
  // Largest bitmap we allocate (bytes for one of the two bitmaps). A header can ask for 65535 x
  // 65535 pixels from a file of a few bytes; such a file is refused instead of exhausting memory.
  static constexpr int64_t kMaxBitmapBytes = int64_t{256} << 20;

  using TChangeEvent = std::function<void(TTarga* sender)>;
  using TPalette = std::array<TTargaPaletteEntry, kPaletteSize>;

  TTarga();
  TTarga(const TTarga&) = delete;
  TTarga& operator=(const TTarga&) = delete;

  // Encoding settings; the owning control writes them directly.
  TTargaColorDepthType ColorDepth() const { return colorDepth_; }
  void SetColorDepth(TTargaColorDepthType value) { colorDepth_ = value; }
  bool IncludeAlphaChannel() const { return includeAlphaChannel_; }
  void SetIncludeAlphaChannel(bool value) { includeAlphaChannel_ = value; }
  TTargaType TargaType() const { return targaType_; }
  void SetTargaType(TTargaType value) { targaType_ = value; }

  // Header fields of the last decoded file.
  uint8_t ColorMapType() const { return colorMapType_; }
  const TPalette& Palette() const { return palette_; }
  uint16_t CMapStart() const { return cMapStart_; }
  uint16_t CMapLength() const { return cMapLength_; }
  uint8_t CMapDepth() const { return cMapDepth_; }
  uint8_t IDLength() const { return idLength_; }
  uint8_t ImageType() const { return imageType_; }
  uint16_t XOrigin() const { return xOrigin_; }
  uint16_t YOrigin() const { return yOrigin_; }
  uint16_t Width() const { return width_; }
  uint16_t Height() const { return height_; }
  uint8_t PixelDepth() const { return pixelDepth_; }
  uint8_t AlphaBits() const { return alphaBits_; }
  bool TopOrigin() const { return topOrigin_; }
  bool RightOrigin() const { return rightOrigin_; }

  // Both bitmaps are always QImage::Format_RGB32: bytes blue, green, red, 0xFF; row 0 on top.
  const QImage& Bitmap() const { return bitmap_; }
  const QImage& AlphaBitmap() const { return alphaBitmap_; }
  void SetBitmap(const QImage& image);
  void SetAlphaBitmap(const QImage& image);

  // Runs after every decode and from NotifyChanged; set by the owning control.
  TChangeEvent OnTargaChange;
  // The graphic's public change event, raised by NotifyChanged.
  TChangeEvent OnChange;

  // Copies the two bitmaps of source, nothing else; no change callback. A null source raises
  // EConvertError.
  void CopyFrom(const TTarga* source);
  void NotifyChanged();
  // Draws the colour bitmap stretched into rect with the painter's current composition mode.
  void PaintTo(QPainter& painter, const QRect& rect) const;
  bool IsEmpty() const { return bitmap_.isNull(); }
  // Header size of the last decoded file (0 before any decode; CopyFrom leaves it).
  int ImageWidth() const { return width_; }
  int ImageHeight() const { return height_; }
  // Same pixels in both bitmaps (two empty graphics are equal).
  bool Equals(const TTarga& other) const;

  // Stored "Data" property: written when there is no ancestor and the graphic is not empty, or
  // when the ancestor's image differs.
  bool HasStoredData(const TTarga* ancestor) const;
  void ReadStoredData(QIODevice& stream);
  // Leaves TargaType = ttTrueColorImage and ColorDepth = cd32bit behind.
  void WriteStoredData(QIODevice& stream);

  // Raises EInOutError when the file cannot be opened; the graphic is then unchanged.
  void LoadTargaFile(const std::string& fileName);
  // A name ending in ".bmp" (any case) saves the colour bitmap as a Windows bitmap. An existing
  // file is replaced only once the new one is complete.
  void SaveTargaFile(const std::string& fileName);

  // Decodes from the current position and leaves the stream just after the last byte used.
  // Damaged data never fails: pixels the file does not supply are black. Raises Exception only
  // for an image too large to hold; the graphic is then unchanged.
  void ReadTarga(QIODevice& stream);
  void WriteTarga(QIODevice& stream);

  // Clipboard block: 32-bit little-endian size S, then S bytes of TGA.
  void ReadClipboardBlock(uint16_t format, const QByteArray* data, uint32_t palette);
  void WriteClipboardBlock(uint16_t& format, QByteArray& data, uint32_t& palette);

 private:
  void KeepBitmapFormat();
  void WriteUncompressed(QIODevice& stream);
  void WriteRle(QIODevice& stream);

  TTargaColorDepthType colorDepth_ = cd8bit;
  uint8_t colorMapType_ = 0;
  TPalette palette_{};
  uint16_t cMapStart_ = 0;
  uint16_t cMapLength_ = 0;
  uint8_t cMapDepth_ = 0;
  uint8_t idLength_ = 0;
  uint8_t imageType_ = 0;
  uint16_t xOrigin_ = 0;
  uint16_t yOrigin_ = 0;
  uint16_t width_ = 0;
  uint16_t height_ = 0;
  uint8_t pixelDepth_ = 0;
  uint8_t alphaBits_ = 0;
  bool topOrigin_ = false;
  bool rightOrigin_ = false;
  bool includeAlphaChannel_ = false;
  TTargaType targaType_ = ttNoImageData;
  QImage bitmap_;
  QImage alphaBitmap_;
};
