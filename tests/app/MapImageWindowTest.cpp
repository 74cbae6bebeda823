// The map image window: its own settings, and its placement beside the main window.
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

#include "MainWindowFixture.h"
#include "platform/Exceptions.h"
#include "tga/TargaImageControl.h"

namespace {

using guitest::MainWindowTest;
using guitest::Settle;

TEST(MapImageWindow, StartsHiddenWithItsControlsSetUp) {
  TForm2 form;
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.windowTitle(), "Map Image");
  EXPECT_EQ(form.size(), QSize(489, 520));
  EXPECT_FALSE(form.testAttribute(Qt::WA_QuitOnClose));
  EXPECT_EQ(form.Label1->text(), "");
  EXPECT_EQ(form.Label1->pos(), QPoint(8, 0));
  EXPECT_EQ(form.Label1->font().pixelSize(), 13);
  EXPECT_EQ(form.TargaImage1->geometry(), QRect(0, 24, 768, 565));
  EXPECT_TRUE(form.TargaImage1->AutoSize());
  EXPECT_FALSE(form.TargaImage1->Stretch());
  EXPECT_EQ(form.TargaImage1->ColorDepth(), cd8bit);
  EXPECT_FALSE(form.TargaImage1->IncludeAlphaChannel());
  EXPECT_EQ(form.TargaImage1->TargaType(), ttNoImageData);
  EXPECT_EQ(form.TargaImage1->ViewType(), tvBitmap);
}

TEST_F(MainWindowTest, MapWindowOpensBesideTheMainWindowAndScrollsAWideImage) {
  Start();
  form2->resize(400, 300);
  const std::string minimap = work / "desert_mm.tga";
  vvtest::WriteFile(minimap, tgatest::SolidTga(1024, 40));
  form->ShowMapImageWindow("Desert", minimap);
  Settle();
  const QRect main = form->frameGeometry();
  EXPECT_EQ(main.topLeft(), QPoint(10, 10));
  EXPECT_TRUE(form2->isVisible());
  EXPECT_EQ(form2->frameGeometry().topLeft(), QPoint(10 + main.width(), 10));
  EXPECT_EQ(form2->frameGeometry().height(), main.height());
  EXPECT_EQ(form2->width(), 400);
  EXPECT_EQ(form2->Label1->text(), "Desert");
  EXPECT_EQ(form2->TargaImage1->size(), QSize(1024, 40));
  EXPECT_GT(form2->ScrollBox()->horizontalScrollBar()->maximum(), 0);

  // A later map replaces name and image; a file that cannot be opened is the caller's error.
  vvtest::WriteFile(minimap, tgatest::SolidTga(64, 32));
  form->ShowMapImageWindow("north", minimap);
  EXPECT_EQ(form2->Label1->text(), "north");
  EXPECT_EQ(form2->TargaImage1->size(), QSize(64, 32));
  EXPECT_THROW(form->ShowMapImageWindow("gone", work / "gone_mm.tga"), EInOutError);
  EXPECT_EQ(form2->Label1->text(), "gone");

  form->CloseMapImageWindow();
  EXPECT_FALSE(form2->isVisible());
}

}  // namespace
