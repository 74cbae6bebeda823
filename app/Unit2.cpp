#include "app/Unit2.h"

#include <QEvent>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/icon/Icon.h"
#include "tga/TargaImageControl.h"

QFont TahomaFont(int pixelSize) {
  QFont font;
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Nimbus Sans"),
                    QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
  font.setPixelSize(pixelSize);
  return font;
}

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Map Image"));
  setWindowIcon(ProgramIcon());
  setFont(TahomaFont(11));
  resize(489, 520);
  // Closing it only hides it; the program ends with the main window alone.
  setAttribute(Qt::WA_QuitOnClose, false);

  // The form scrolls its contents when they are larger than the window.
  scroll_ = new QScrollArea(this);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroll_);
  content_ = new QWidget;
  scroll_->setWidget(content_);
  scroll_->viewport()->setBackgroundRole(QPalette::Button);
  content_->setBackgroundRole(QPalette::Button);

  Label1 = new QLabel(content_);
  Label1->setTextFormat(Qt::PlainText);
  Label1->setFont(TahomaFont(13));
  Label1->setForegroundRole(QPalette::WindowText);
  Label1->move(8, 0);
  Label1->adjustSize();

  TargaImage1 = new TTargaImage(content_);
  TargaImage1->setGeometry(0, 24, 768, 565);
  TargaImage1->SetAutoSize(true);
  TargaImage1->SetStretch(false);
  TargaImage1->SetColorDepth(cd8bit);
  TargaImage1->SetIncludeAlphaChannel(false);
  TargaImage1->SetTargaType(ttNoImageData);
  TargaImage1->SetViewType(tvBitmap);

  Label1->installEventFilter(this);
  TargaImage1->installEventFilter(this);
  FitContent();
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize || event->type() == QEvent::Move) FitContent();
  return QWidget::eventFilter(watched, event);
}

void TForm2::FitContent() {
  const QRect used = Label1->geometry().united(TargaImage1->geometry());
  content_->resize(used.right() + 1, used.bottom() + 1);
}
