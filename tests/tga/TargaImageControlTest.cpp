#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QPixmap>

#include "TargaTestUtil.h"
#include "TgaTestWriter.h"
#include "platform/Exceptions.h"
#include "tga/TargaImageControl.h"

using namespace tgatest;

namespace {

class TargaImageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "tga_control_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) app_ = new QApplication(argc, argv);
  }
  static inline QApplication* app_ = nullptr;
};

std::string Image(uint16_t w, uint16_t h, uint8_t depth, uint8_t type = 2) {
  Tga t;
  t.imageType = type;
  t.width = w;
  t.height = h;
  t.pixelDepth = depth;
  t.descriptor = 0x20;
  for (int i = 0; i < w * h; ++i)
    for (int k = 0; k < depth / 8; ++k) t.data += char(i * 40 + k * 9);
  return t.Bytes();
}

}  // namespace

TEST_F(TargaImageTest, StartsEmptyWithDefaults) {
  TTargaImage image;
  EXPECT_EQ(image.size(), QSize(50, 50));
  EXPECT_FALSE(image.AutoSize());
  EXPECT_FALSE(image.Stretch());
  EXPECT_EQ(image.ColorDepth(), cd8bit);
  EXPECT_FALSE(image.IncludeAlphaChannel());
  EXPECT_EQ(image.TargaType(), ttNoImageData);
  EXPECT_EQ(image.ViewType(), tvBitmap);
  ASSERT_NE(image.Targa(), nullptr);
  EXPECT_TRUE(image.Targa()->IsEmpty());
  EXPECT_FALSE(image.testAttribute(Qt::WA_NativeWindow));
}

TEST_F(TargaImageTest, EncodingSettingsStayConsistentAndReachTheGraphic) {
  TTargaImage image;
  image.SetTargaType(ttColorMapedImage);
  image.SetIncludeAlphaChannel(true);
  EXPECT_EQ(image.TargaType(), ttTrueColorImage);
  EXPECT_EQ(image.ColorDepth(), cd32bit);
  EXPECT_EQ(image.Targa()->TargaType(), ttTrueColorImage);
  EXPECT_EQ(image.Targa()->ColorDepth(), cd32bit);
  EXPECT_TRUE(image.Targa()->IncludeAlphaChannel());

  image.SetIncludeAlphaChannel(false);
  EXPECT_EQ(image.ColorDepth(), cd24bit);
  image.SetTargaType(ttRLETrueColorImage);
  image.SetIncludeAlphaChannel(true);
  EXPECT_EQ(image.TargaType(), ttRLETrueColorImage);

  // A type without true colour drops alpha and goes to 8 bits; no image data keeps the depth.
  image.SetTargaType(ttRLEBlackAndWhiteImage);
  EXPECT_FALSE(image.IncludeAlphaChannel());
  EXPECT_EQ(image.ColorDepth(), cd8bit);
  image.SetColorDepth(cd16bit);
  EXPECT_EQ(image.TargaType(), ttRLETrueColorImage);
  image.SetTargaType(ttNoImageData);
  EXPECT_EQ(image.ColorDepth(), cd16bit);
  image.SetTargaType(ttTrueColorImage);
  EXPECT_EQ(image.ColorDepth(), cd16bit);

  image.SetColorDepth(cd32bit);
  EXPECT_TRUE(image.IncludeAlphaChannel());
  image.SetColorDepth(cd8bit);
  EXPECT_FALSE(image.IncludeAlphaChannel());
  EXPECT_EQ(image.TargaType(), ttColorMapedImage);
  EXPECT_EQ(image.Targa()->TargaType(), ttColorMapedImage);

  // Grey at 24 bits can only come from the graphic; going to 8 bits keeps the type.
  image.Targa()->SetTargaType(ttBlackAndWhiteImage);
  image.Targa()->SetColorDepth(cd24bit);
  image.Targa()->NotifyChanged();
  EXPECT_EQ(image.ColorDepth(), cd24bit);
  image.SetColorDepth(cd8bit);
  EXPECT_EQ(image.TargaType(), ttBlackAndWhiteImage);
}

TEST_F(TargaImageTest, DecodingResizesRaisesOnChangeAndMirrorsSettings) {
  TTargaImage image;
  int changes = 0;
  image.OnChange = [&](TTargaImage* sender) {
    EXPECT_EQ(sender, &image);
    ++changes;
  };
  image.SetAutoSize(true);  // empty graphic: no size change
  EXPECT_EQ(image.size(), QSize(50, 50));

  image.SetColorDepth(cd16bit);
  Decode(*image.Targa(), Image(256, 256, 32));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(image.size(), QSize(256, 256));
  EXPECT_TRUE(image.IncludeAlphaChannel());
  EXPECT_EQ(image.ColorDepth(), cd32bit);
  EXPECT_EQ(image.TargaType(), ttTrueColorImage);

  Decode(*image.Targa(), Image(0, 0, 24));
  EXPECT_EQ(image.size(), QSize(256, 256));

  image.SetAutoSize(false);
  Decode(*image.Targa(), Image(3, 4, 24));
  EXPECT_EQ(image.size(), QSize(256, 256));
  image.SetAutoSize(true);
  EXPECT_EQ(image.size(), QSize(3, 4));
}

TEST_F(TargaImageTest, TargaSetterHoldsACopy) {
  TTargaImage image;
  image.SetAutoSize(true);
  TTarga source;
  Decode(source, Image(5, 2, 24));
  TTarga* before = image.Targa();
  int changes = 0;
  image.OnChange = [&](TTargaImage*) { ++changes; };
  image.SetTarga(&source);
  EXPECT_NE(image.Targa(), &source);
  EXPECT_NE(image.Targa(), before);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(image.size(), QSize(5, 2));
  EXPECT_EQ(image.Targa()->Bitmap(), source.Bitmap());
  // The copy's settings were not copied, and GraphicChanged mirrors them back.
  EXPECT_EQ(image.TargaType(), ttNoImageData);
  image.SetTarga(image.Targa());
  EXPECT_EQ(changes, 1);

  // The new graphic is wired up like the first one.
  Decode(*image.Targa(), Image(7, 1, 24));
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(image.size(), QSize(7, 1));

  EXPECT_THROW(image.SetTarga(nullptr), EConvertError);
  EXPECT_TRUE(image.Targa()->IsEmpty());
}

TEST_F(TargaImageTest, PaintsNaturalSizeStretchedOrAlpha) {
  TTargaImage image;
  TTarga source;
  source.SetBitmap(MakeImage(2, 1, {0xFF0000, 0x0000FF}));
  source.SetAlphaBitmap(MakeImage(2, 1, {0x404040, 0xC0C0C0}));
  image.SetTarga(&source);
  image.resize(4, 2);

  QImage shot = image.grab().toImage();
  EXPECT_EQ(Rgb(shot, 0, 0), 0xFF0000u);
  EXPECT_EQ(Rgb(shot, 1, 0), 0x0000FFu);

  image.SetStretch(true);
  shot = image.grab().toImage();
  EXPECT_EQ(Rgb(shot, 1, 1), 0xFF0000u);
  EXPECT_EQ(Rgb(shot, 3, 1), 0x0000FFu);

  image.SetViewType(tvAlphaChannel);
  shot = image.grab().toImage();
  EXPECT_EQ(Rgb(shot, 0, 0), 0x404040u);
  EXPECT_EQ(Rgb(shot, 3, 0), 0xC0C0C0u);

  image.SetViewType(tvUseAlphaChannel);
  shot = image.grab().toImage();
  EXPECT_EQ(Rgb(shot, 3, 0), 0x0000FFu);
}

// Counts the paints that the setters' repaint requests lead to.
class CountingImage : public TTargaImage {
 public:
  int Paints() {
    QApplication::processEvents();
    const int n = paints_;
    paints_ = 0;
    return n;
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    ++paints_;
    TTargaImage::paintEvent(event);
  }

 private:
  int paints_ = 0;
};

TEST_F(TargaImageTest, ViewSettersRepaintEncodingSettersDoNot) {
  CountingImage image;
  image.show();
  image.Paints();
  image.SetAutoSize(true);  // nothing to size to yet
  image.SetColorDepth(cd24bit);
  image.SetTargaType(ttRLETrueColorImage);
  image.SetIncludeAlphaChannel(true);
  EXPECT_EQ(image.Paints(), 0);
  image.SetStretch(true);
  EXPECT_EQ(image.Paints(), 1);
  image.SetStretch(true);
  EXPECT_EQ(image.Paints(), 0);
  image.SetViewType(tvAlphaChannel);
  EXPECT_EQ(image.Paints(), 1);
  image.SetAutoSize(false);
  TTarga source;
  source.SetBitmap(MakeImage(3, 2, {1, 2, 3, 4, 5, 6}));
  image.SetTarga(&source);
  EXPECT_EQ(image.Paints(), 1);
  image.SetAutoSize(true);
  EXPECT_EQ(image.size(), QSize(3, 2));
  EXPECT_GE(image.Paints(), 1);
}

TEST_F(TargaImageTest, MouseEnterAndLeave) {
  TTargaImage image;
  std::vector<std::string> events;
  image.OnMouseEnter = [&](TTargaImage* sender) {
    EXPECT_EQ(sender, &image);
    events.push_back("enter");
  };
  image.OnMouseLeave = [&](TTargaImage*) { events.push_back("leave"); };
  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QApplication::sendEvent(&image, &enter);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&image, &leave);
  EXPECT_EQ(events, (std::vector<std::string>{"enter", "leave"}));
}
