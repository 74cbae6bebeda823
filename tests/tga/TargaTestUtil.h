#pragma once
// Decoding from and encoding to byte strings, and pixel access as 0xRRGGBB.
#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <string>

#include "tga/TargaImage.h"

namespace tgatest {

// Decodes bytes; returns the stream position the decoder left behind.
inline qint64 Decode(TTarga& targa, const std::string& bytes) {
  QByteArray data = QByteArray::fromStdString(bytes);
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  targa.ReadTarga(buffer);
  return buffer.pos();
}

inline std::string Encode(TTarga& targa) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  targa.WriteTarga(buffer);
  return buffer.data().toStdString();
}

inline uint32_t Rgb(const QImage& image, int x, int y) {
  return image.pixel(x, y) & 0xFFFFFFu;
}

// An RGB32 image from 0xRRGGBB values, row by row.
inline QImage MakeImage(int width, int height, std::initializer_list<uint32_t> pixels) {
  QImage image(width, height, QImage::Format_RGB32);
  auto it = pixels.begin();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.setPixel(x, y, 0xFF000000u | *it++);
  return image;
}

}  // namespace tgatest
