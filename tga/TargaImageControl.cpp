#include "tga/TargaImageControl.h"

#include <QPainter>

TTargaImage::TTargaImage(QWidget* parent) : QWidget(parent), targa_(std::make_unique<TTarga>()) {
  resize(50, 50);
  AttachGraphic();
}

TTargaImage::~TTargaImage() = default;

void TTargaImage::AttachGraphic() {
  targa_->OnTargaChange = [this](TTarga*) { GraphicChanged(); };
}

void TTargaImage::Push() {
  targa_->SetColorDepth(colorDepth_);
  targa_->SetIncludeAlphaChannel(includeAlphaChannel_);
  targa_->SetTargaType(targaType_);
}

void TTargaImage::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  const QImage& bitmap = targa_->Bitmap();
  if (autoSize_ && bitmap.width() > 0 && bitmap.height() > 0) {
    resize(bitmap.width(), bitmap.height());
    update();
  }
}

void TTargaImage::SetStretch(bool value) {
  if (value == stretch_) return;
  stretch_ = value;
  update();
}

void TTargaImage::SetViewType(TTargaViewType value) {
  if (value == viewType_) return;
  viewType_ = value;
  update();
}

void TTargaImage::SetIncludeAlphaChannel(bool value) {
  if (value == includeAlphaChannel_) return;
  includeAlphaChannel_ = value;
  if (value) {
    if (targaType_ != ttRLETrueColorImage) targaType_ = ttTrueColorImage;
    colorDepth_ = cd32bit;
  } else if (colorDepth_ == cd32bit) {
    colorDepth_ = cd24bit;
  }
  Push();
}

void TTargaImage::SetTargaType(TTargaType value) {
  if (value == targaType_) return;
  targaType_ = value;
  const bool trueColour = value == ttTrueColorImage || value == ttRLETrueColorImage;
  if (includeAlphaChannel_ && !trueColour) includeAlphaChannel_ = false;
  if (trueColour) {
    if (colorDepth_ == cd8bit) colorDepth_ = cd24bit;
  } else if (value != ttNoImageData) {
    colorDepth_ = cd8bit;
  }
  Push();
}

void TTargaImage::SetColorDepth(TTargaColorDepthType value) {
  if (value == colorDepth_) return;
  colorDepth_ = value;
  if (value == cd8bit) {
    includeAlphaChannel_ = false;
    if (targaType_ == ttTrueColorImage) targaType_ = ttColorMapedImage;
    if (targaType_ == ttRLETrueColorImage) targaType_ = ttRLEColorMapedImage;
  } else {
    includeAlphaChannel_ = value == cd32bit;
    if (targaType_ == ttColorMapedImage || targaType_ == ttBlackAndWhiteImage)
      targaType_ = ttTrueColorImage;
    if (targaType_ == ttRLEColorMapedImage || targaType_ == ttRLEBlackAndWhiteImage)
      targaType_ = ttRLETrueColorImage;
  }
  Push();
}

void TTargaImage::SetTarga(const TTarga* value) {
  if (value == targa_.get()) return;
  targa_ = std::make_unique<TTarga>();
  AttachGraphic();
  targa_->CopyFrom(value);
  GraphicChanged();
}

void TTargaImage::GraphicChanged() {
  if (OnChange) OnChange(this);
  const QImage& bitmap = targa_->Bitmap();
  if (autoSize_ && bitmap.width() > 0 && bitmap.height() > 0)
    resize(bitmap.width(), bitmap.height());
  targaType_ = targa_->TargaType();
  colorDepth_ = targa_->ColorDepth();
  includeAlphaChannel_ = targa_->IncludeAlphaChannel();
  update();
}

void TTargaImage::paintEvent(QPaintEvent*) {
  const QImage* source = nullptr;
  if (viewType_ == tvBitmap || viewType_ == tvUseAlphaChannel)
    source = &targa_->Bitmap();
  else if (viewType_ == tvAlphaChannel)
    source = &targa_->AlphaBitmap();
  if (!source || source->isNull()) return;
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  if (stretch_)
    painter.drawImage(rect(), *source);
  else
    painter.drawImage(QPoint(0, 0), *source, QRect(0, 0, width(), height()));
}

void TTargaImage::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  if (OnMouseEnter) OnMouseEnter(this);
}

void TTargaImage::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (OnMouseLeave) OnMouseLeave(this);
}
