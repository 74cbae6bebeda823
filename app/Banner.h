#pragma once
// The main window's banner picture, a JPEG held in the program and decoded with libjpeg.
#include <QImage>
#include <cstddef>

// Decodes a baseline or progressive JPEG (grey, RGB or CMYK) into a 32-bit image. A damaged or
// foreign stream gives a null image; a stream cut short gives what was decoded, libjpeg filling
// the rest.
QImage DecodeJpeg(const unsigned char* data, std::size_t size);

// The banner, 257 x 153.
QImage BannerImage();
