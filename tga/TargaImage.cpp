// TTarga: bitmaps, copying, files, stored data and the clipboard block. Decoding and encoding
// live in TargaRead.cpp and TargaWrite.cpp.
#include "tga/TargaImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QPainter>
#include <QSaveFile>

#include <cstring>

#include "platform/Exceptions.h"
#include "platform/LittleEndian.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace {

QString FileNameOf(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(platform::ResolvePath(path)));
}

// A 32-bit Windows bitmap, as the 32-bit colour bitmap saves itself: bottom-up rows of the
// bitmap's own blue, green, red, x words. (Qt's writer would drop to 24 bits.)
bool WriteBitmap32(QIODevice& out, const QImage& image) {
  if (image.isNull()) return false;
  const auto width = uint32_t(image.width()), height = uint32_t(image.height());
  const uint32_t imageBytes = width * height * 4, offset = 14 + 40;
  QByteArray header;
  const auto put = [&header](uint32_t value, int bytes) {
    platform::AppendLe(header, value, bytes);
  };
  header.append("BM", 2);
  put(offset + imageBytes, 4);
  put(0, 4);
  put(offset, 4);
  put(40, 4);
  put(width, 4);
  put(height, 4);  // positive: bottom-up
  put(1, 2);
  put(32, 2);
  put(0, 4);  // uncompressed
  put(imageBytes, 4);
  put(uint32_t(image.dotsPerMeterX()), 4);
  put(uint32_t(image.dotsPerMeterY()), 4);
  put(0, 4);
  put(0, 4);
  if (out.write(header) != header.size()) return false;
  for (int y = int(height) - 1; y >= 0; --y) {
    const qint64 rowBytes = qint64(width) * 4;
    if (out.write(reinterpret_cast<const char*>(image.constScanLine(y)), rowBytes) != rowBytes)
      return false;
  }
  return true;
}

}  // namespace

TTarga::TTarga() = default;

void TTarga::SetBitmap(const QImage& image) {
  bitmap_ = image;
  KeepBitmapFormat();
}

void TTarga::SetAlphaBitmap(const QImage& image) {
  alphaBitmap_ = image;
  KeepBitmapFormat();
}

// Every routine that reads or writes bitmap rows relies on 32 bits a pixel.
void TTarga::KeepBitmapFormat() {
  if (!bitmap_.isNull() && bitmap_.format() != QImage::Format_RGB32)
    bitmap_.convertTo(QImage::Format_RGB32);
  if (!alphaBitmap_.isNull() && alphaBitmap_.format() != QImage::Format_RGB32)
    alphaBitmap_.convertTo(QImage::Format_RGB32);
}

void TTarga::CopyFrom(const TTarga* source) {
  if (!source) throw EConvertError("Cannot assign a nil to a TTarga");
  bitmap_ = source->bitmap_;
  alphaBitmap_ = source->alphaBitmap_;
}

void TTarga::NotifyChanged() {
  if (OnTargaChange) OnTargaChange(this);
  if (OnChange) OnChange(this);
}

void TTarga::PaintTo(QPainter& painter, const QRect& rect) const {
  if (!bitmap_.isNull()) painter.drawImage(rect, bitmap_);
}

bool TTarga::Equals(const TTarga& other) const {
  if (IsEmpty() || other.IsEmpty()) return IsEmpty() && other.IsEmpty();
  return bitmap_ == other.bitmap_ && alphaBitmap_ == other.alphaBitmap_;
}

bool TTarga::HasStoredData(const TTarga* ancestor) const {
  return ancestor ? !Equals(*ancestor) : !IsEmpty();
}

void TTarga::ReadStoredData(QIODevice& stream) {
  char length = 0;
  if (stream.read(&length, 1) != 1) return;
  // The class name is not looked at; any length up to 255 is simply skipped.
  stream.skip(static_cast<uint8_t>(length));
  if (stream.peek(2) == "BM") {
    QImage image;
    if (!image.load(&stream, "BMP")) throw Exception("Bitmap image is not valid");
    SetBitmap(image);
  } else {
    ReadTarga(stream);
  }
}

void TTarga::WriteStoredData(QIODevice& stream) {
  static constexpr char kClassName[] = "TTarga";
  const char length = char(sizeof kClassName - 1);
  targaType_ = ttTrueColorImage;
  colorDepth_ = cd32bit;
  if (stream.write(&length, 1) != 1 || stream.write(kClassName, length) != length)
    throw EInOutError("Stream write error");
  WriteTarga(stream);
}

void TTarga::LoadTargaFile(const std::string& fileName) {
  QFile file(FileNameOf(fileName));
  if (!file.open(QIODevice::ReadOnly))
    throw EInOutError("Cannot open file \"" + fileName + "\". " + file.errorString().toStdString());
  ReadTarga(file);
}

void TTarga::SaveTargaFile(const std::string& fileName) {
  QSaveFile file(FileNameOf(fileName));
  if (!file.open(QIODevice::WriteOnly))
    throw EInOutError("Cannot create file \"" + fileName + "\". " +
                      file.errorString().toStdString());
  const bool bmp =
      fileName.size() >= 4 && platform::UpperCase(fileName.substr(fileName.size() - 4)) == ".BMP";
  if (bmp) {
    if (!WriteBitmap32(file, bitmap_))
      throw EInOutError("Cannot write bitmap \"" + fileName + "\"");
  } else {
    WriteTarga(file);
  }
  if (!file.commit())
    throw EInOutError("Cannot write file \"" + fileName + "\". " +
                      file.errorString().toStdString());
}

void TTarga::ReadClipboardBlock(uint16_t format, const QByteArray* data, uint32_t /*palette*/) {
  if (format != kClipboardFormat || !data || data->size() < 4) return;
  const auto* p = reinterpret_cast<const uint8_t*>(data->constData());
  const uint32_t declared = p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
  // A size beyond the block is not trusted: decode what the block holds.
  const qsizetype size = std::min<qsizetype>(declared, data->size() - 4);
  QByteArray bytes(data->constData() + 4, size);
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  ReadTarga(buffer);
}

void TTarga::WriteClipboardBlock(uint16_t& format, QByteArray& data, uint32_t& palette) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  WriteTarga(buffer);
  const QByteArray& tga = buffer.data();
  const auto size = uint32_t(tga.size());
  char prefix[4];
  platform::PutLe32(prefix, size);
  format = kClipboardFormat;
  data = QByteArray(prefix, 4) + tga;
  palette = 0;
}
