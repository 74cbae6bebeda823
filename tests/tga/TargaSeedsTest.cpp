// Runs every fuzz seed, and every prefix and a few byte flips of it, through the decoder. Under
// the sanitizer build this is the regression guard for the fuzz target's findings.
#include <gtest/gtest.h>

#include "TargaTestUtil.h"
#include "TgaTestWriter.h"
#include "platform/Exceptions.h"
#include "tga/TargaImage.h"

using namespace tgatest;

namespace {

// Damaged bytes decode, or are refused as too large for the data they hold.
void DecodeDamaged(const std::string& bytes) {
  TTarga damaged;
  try {
    Decode(damaged, bytes);
  } catch (const Exception& refused) {
    EXPECT_TRUE(refused.Message().starts_with("TTarga: image too large")) << refused.Message();
  }
}

}  // namespace

TEST(TargaSeeds, EverySeedDecodesAndSurvivesDamage) {
  const auto seeds = SeedCorpus();
  ASSERT_GE(seeds.size(), 40u);
  for (const auto& [name, bytes] : seeds) {
    SCOPED_TRACE(name);
    TTarga targa;
    Decode(targa, bytes);
    ASSERT_FALSE(targa.IsEmpty());
    for (size_t cut = 0; cut < bytes.size(); cut += cut < 64 ? 1 : 13)
      DecodeDamaged(bytes.substr(0, cut));
    for (size_t at :
         {size_t{1}, size_t{2}, size_t{7}, size_t{16}, size_t{17}, size_t{18}, bytes.size() / 2}) {
      std::string flipped = bytes;
      flipped[at] = char(flipped[at] ^ 0xA5);
      DecodeDamaged(flipped);
    }
  }
}

// Whatever is decoded re-encodes losslessly at 32 bits and as run-length 24 bits.
TEST(TargaSeeds, DecodedSeedsRoundTrip) {
  for (const auto& [name, bytes] : SeedCorpus()) {
    SCOPED_TRACE(name);
    TTarga targa;
    Decode(targa, bytes);
    targa.SetTargaType(ttTrueColorImage);
    targa.SetColorDepth(cd32bit);
    TTarga again;
    Decode(again, Encode(targa));
    EXPECT_TRUE(again.Equals(targa));
    targa.SetTargaType(ttRLETrueColorImage);
    Decode(again, Encode(targa));
    EXPECT_EQ(again.Bitmap(), targa.Bitmap());
  }
}
