// libFuzzer target: ReadTarga on arbitrary bytes, then both encoders on whatever was decoded.
#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>

#include "platform/Exceptions.h"
#include "tga/TargaImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Headers that ask for more than 256 K pixels only cost the fuzzer time in memset.
  if (size >= 16) {
    const uint32_t width = data[12] | data[13] << 8;
    const uint32_t height = data[14] | data[15] << 8;
    if (width * height > (1u << 18)) return 0;
  }
  QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  QBuffer input(&bytes);
  input.open(QIODevice::ReadOnly);
  TTarga targa;
  try {
    targa.ReadTarga(input);
  } catch (const Exception&) {
    return 0;  // a header that the data cannot back is refused
  }
  if (input.pos() > input.size()) __builtin_trap();
  for (TTargaType type : {ttRLETrueColorImage, ttTrueColorImage}) {
    targa.SetTargaType(type);
    targa.SetColorDepth(type == ttTrueColorImage ? cd16bit : cd24bit);
    QBuffer output;
    output.open(QIODevice::WriteOnly);
    targa.WriteTarga(output);
  }
  return 0;
}
