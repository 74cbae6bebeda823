#include "app/Banner.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

extern const unsigned char kBannerJpeg[];
extern const std::size_t kBannerJpegSize;

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void Quiet(j_common_ptr, int) {}

// The whole libjpeg session lives in this frame and holds no C++ object, so the jump back
// on an error skips no destructor. Fills *image only on success.
bool Decode(const unsigned char* data, std::size_t size, QImage* image) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = JumpOnError;
  err.pub.emit_message = Quiet;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  // libjpeg converts grey, YCbCr and RGB to RGB; Adobe CMYK stays 4-component and is
  // converted below.
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&cinfo);
  const int components = cinfo.output_components;
  if ((components != 3 && components != 4) || cinfo.output_width > 16384 ||
      cinfo.output_height > 16384) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  *image = QImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                  QImage::Format_RGB32);
  if (image->isNull()) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  // One scanline buffer from libjpeg's own pool, freed with the session.
  JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                              cinfo.output_width * components, 1);
  while (cinfo.output_scanline < cinfo.output_height) {
    const int y = static_cast<int>(cinfo.output_scanline);
    jpeg_read_scanlines(&cinfo, row, 1);
    auto* out = reinterpret_cast<QRgb*>(image->scanLine(y));
    const JSAMPLE* in = row[0];
    for (JDIMENSION x = 0; x < cinfo.output_width; ++x, in += components) {
      if (components == 3) {
        out[x] = qRgb(in[0], in[1], in[2]);
      } else {
        // Adobe writes inverted CMYK; k scales the other three.
        const int k = in[3];
        out[x] = qRgb(in[0] * k / 255, in[1] * k / 255, in[2] * k / 255);
      }
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

QImage DecodeJpeg(const unsigned char* data, std::size_t size) {
  QImage image;
  if (data == nullptr || size == 0 || !Decode(data, size, &image)) return QImage();
  return image;
}

QImage BannerImage() {
  return DecodeJpeg(kBannerJpeg, kBannerJpegSize);
}
