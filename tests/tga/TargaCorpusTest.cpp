// The public TGA corpus: every "decode" file must give the pixels its MANIFEST lists (as a
// SHA-256 of the RGB triples, top row first), every "REJECT" file must decode without touching
// memory outside its buffers (checked by the sanitizer build).
#include <gtest/gtest.h>

#include <QCryptographicHash>

#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "TargaTestUtil.h"
#include "TestSupport.h"
#include "tga/TargaImage.h"

namespace {

struct Entry {
  std::string name;
  int width = 0;
  int height = 0;
  int bpp = 0;
  std::string cmap;
  bool decode = false;
  std::string rgbSha256;
};

std::string CorpusDir() {
  return vvtest::TestDataDir() + "/tga";
}

std::vector<Entry> ReadManifest() {
  std::ifstream in(vvtest::TestDataDir() + "/MANIFEST.md");
  std::map<std::string, Entry> byName;
  std::vector<std::string> order;
  // | `name` | src | type | WxH | bpp | desc | cmap | id | expected | ...
  const std::regex row(
      R"(^\| `([^`]+\.tga)` \| \w+ \| \d+ \| (\d+)x(\d+) \| (\d+) \| \w+ \| ([^|]+) \| \d+ \| (decode|REJECT) \|)");
  const std::regex file(R"(^- \*\*`([^`]+\.tga)`\*\*)");
  const std::regex hash(R"(^\s+- rgb `([0-9a-f]{64})`)");
  std::string line, current;
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_search(line, m, row)) {
      Entry& e = byName[m[1]];
      e.name = m[1];
      e.width = std::stoi(m[2]);
      e.height = std::stoi(m[3]);
      e.bpp = std::stoi(m[4]);
      e.cmap = m[5];
      e.decode = m[6] == "decode";
      order.push_back(e.name);
    } else if (std::regex_search(line, m, file)) {
      current = m[1];
    } else if (!current.empty() && std::regex_search(line, m, hash)) {
      byName[current].rgbSha256 = m[1];
      current.clear();
    }
  }
  std::vector<Entry> entries;
  for (const std::string& name : order) entries.push_back(byName[name]);
  return entries;
}

// Five-bit channels: we expand n to 8 * n; the MANIFEST expands to round(n * 255 / 31).
bool FiveBitChannels(const Entry& e) {
  return e.bpp == 16 || e.cmap.ends_with("/15") || e.cmap.ends_with("/16");
}

std::string RgbSha256(const QImage& image, bool fiveBit) {
  QByteArray rgb;
  rgb.reserve(image.width() * image.height() * 3);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      for (int c : {qRed(p), qGreen(p), qBlue(p)}) {
        if (fiveBit) c = ((c >> 3) * 255 + 15) / 31;
        rgb += char(c);
      }
    }
  return QCryptographicHash::hash(rgb, QCryptographicHash::Sha256).toHex().toStdString();
}

}  // namespace

TEST(TargaCorpus, DecodesAsTheManifestSays) {
  VV_SKIP_WITHOUT_TESTDATA("tga");
  const std::vector<Entry> entries = ReadManifest();
  ASSERT_GE(entries.size(), 31u) << "MANIFEST format not understood";
  int decoded = 0;
  for (const Entry& e : entries) {
    SCOPED_TRACE(e.name);
    TTarga targa;
    targa.LoadTargaFile(CorpusDir() + "/" + e.name);
    EXPECT_EQ(targa.Bitmap().width(), e.width);
    EXPECT_EQ(targa.Bitmap().height(), e.height);
    if (!e.decode) continue;
    ASSERT_EQ(e.rgbSha256.size(), 64u);
    EXPECT_EQ(RgbSha256(targa.Bitmap(), FiveBitChannels(e)), e.rgbSha256);
    ++decoded;
  }
  EXPECT_GE(decoded, 28);
}

// A 32-bit file's alpha reaches the alpha bitmap (all 21 levels of this one).
TEST(TargaCorpus, AlphaOfThirtyTwoBitFiles) {
  VV_SKIP_WITHOUT_TESTDATA("tga");
  TTarga targa;
  targa.LoadTargaFile(CorpusDir() + "/rgb32_top_left_rle.tga");
  std::set<int> levels;
  for (int y = 0; y < targa.AlphaBitmap().height(); ++y)
    for (int x = 0; x < targa.AlphaBitmap().width(); ++x) {
      const QRgb p = targa.AlphaBitmap().pixel(x, y);
      EXPECT_TRUE(qRed(p) == qBlue(p) && qGreen(p) == qBlue(p));
      levels.insert(qBlue(p));
    }
  EXPECT_EQ(levels.size(), 21u);
  EXPECT_EQ(*levels.begin(), 0);
  EXPECT_EQ(*levels.rbegin(), 255);
}
