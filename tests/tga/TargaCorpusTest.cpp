// The public TGA corpus: every "decode" file must give the pixels its MANIFEST lists (as a
// SHA-256 of the RGB triples, top row first), every "REJECT" file must decode without touching
// memory outside its buffers (checked by the sanitizer build).
#include <gtest/gtest.h>

#include <QCryptographicHash>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "TargaTestUtil.h"
#include "TestSupport.h"
#include "platform/Exceptions.h"
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

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(' ');
  return first == std::string::npos ? "" : s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// The text between the first pair of backticks after `from`.
std::string Quoted(const std::string& line, size_t from = 0) {
  const size_t open = line.find('`', from);
  const size_t close = open == std::string::npos ? open : line.find('`', open + 1);
  return close == std::string::npos ? "" : line.substr(open + 1, close - open - 1);
}

std::vector<Entry> ReadManifest() {
  std::ifstream in(vvtest::TestDataDir() + "/MANIFEST.md");
  std::map<std::string, Entry> byName;
  std::vector<std::string> order;
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.starts_with("| `") && line.find(".tga`") != std::string::npos) {
      // | `name` | src | type | WxH | bpp | desc | cmap | id | expected | sha |
      std::vector<std::string> cells;
      std::stringstream row(line);
      for (std::string cell; std::getline(row, cell, '|');) cells.push_back(Trimmed(cell));
      if (cells.size() < 10) continue;
      Entry& e = byName[Quoted(cells[1])];
      e.name = Quoted(cells[1]);
      const size_t x = cells[4].find('x');
      e.width = std::stoi(cells[4].substr(0, x));
      e.height = std::stoi(cells[4].substr(x + 1));
      e.bpp = std::stoi(cells[5]);
      e.cmap = cells[7];
      e.decode = cells[9] == "decode";
      order.push_back(e.name);
    } else if (line.starts_with("- **`")) {
      current = Quoted(line);
    } else if (!current.empty() && line.find("- rgb `") != std::string::npos) {
      byName[current].rgbSha256 = Quoted(line, line.find("- rgb `"));
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
    try {
      targa.LoadTargaFile(CorpusDir() + "/" + e.name);
    } catch (const Exception& refused) {
      // A header that no data backs is refused; only files to reject may be.
      EXPECT_FALSE(e.decode) << refused.Message();
      continue;
    }
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
