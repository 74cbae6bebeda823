// The banner picture and the JPEG decoder behind it.
#include <string>

#include "GuiTestSupport.h"
#include "app/Banner.h"

extern const unsigned char kBannerJpeg[];
extern const std::size_t kBannerJpegSize;

namespace {

const unsigned char* Bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

TEST(Banner, DecodesToItsSizeWithTheSkyDarkerThanTheSun) {
  const QImage banner = BannerImage();
  ASSERT_EQ(banner.size(), QSize(257, 153));
  // Top of the sky is dark blue, the sun bright yellow: a decode that swapped channels or
  // garbled rows would not give both.
  const QColor sky = banner.pixelColor(128, 6), sun = banner.pixelColor(188, 78);
  EXPECT_LT(sky.red(), 60);
  EXPECT_GT(sky.blue(), sky.red());
  EXPECT_GT(sun.red(), 230);
  EXPECT_GT(sun.green(), 190);
}

TEST(Banner, BrokenStreamsGiveANullImageOrWhatWasDecoded) {
  EXPECT_TRUE(DecodeJpeg(nullptr, 0).isNull());
  const std::string noise(4000, '\x5A');
  EXPECT_TRUE(DecodeJpeg(Bytes(noise), noise.size()).isNull());
  // Cut after the headers: libjpeg fills the missing rows, the size stays.
  const std::string half(reinterpret_cast<const char*>(kBannerJpeg), kBannerJpegSize / 2);
  EXPECT_EQ(DecodeJpeg(Bytes(half), half.size()).size(), QSize(257, 153));
  // Damaged entropy-coded data still decodes to a picture of the size the header gives.
  std::string damaged(reinterpret_cast<const char*>(kBannerJpeg), kBannerJpegSize);
  for (size_t i = 700; i < damaged.size(); i += 97) damaged[i] = static_cast<char>(~damaged[i]);
  EXPECT_EQ(DecodeJpeg(Bytes(damaged), damaged.size()).size(), QSize(257, 153));
}

}  // namespace
