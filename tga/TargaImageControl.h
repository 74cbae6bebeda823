#pragma once
// TTargaImage: a windowless control that shows one TTarga, its colour or its alpha bitmap, at
// natural size or stretched. Kept apart from TargaImage.h so the codec builds without widgets.
#include <QWidget>

#include <functional>
#include <memory>

#include "tga/TargaImage.h"

class TTargaImage : public QWidget {
 public:
  using TNotifyEvent = std::function<void(TTargaImage* sender)>;
  using TMouseEnterEvent = std::function<void(TTargaImage* sender)>;
  using TMouseLeaveEvent = std::function<void(TTargaImage* sender)>;

  explicit TTargaImage(QWidget* parent = nullptr);
  ~TTargaImage() override;

  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  bool Stretch() const { return stretch_; }
  void SetStretch(bool value);
  TTargaViewType ViewType() const { return viewType_; }
  void SetViewType(TTargaViewType value);
  // The three encoding settings are kept consistent with each other and pushed to the graphic.
  TTargaColorDepthType ColorDepth() const { return colorDepth_; }
  void SetColorDepth(TTargaColorDepthType value);
  bool IncludeAlphaChannel() const { return includeAlphaChannel_; }
  void SetIncludeAlphaChannel(bool value);
  TTargaType TargaType() const { return targaType_; }
  void SetTargaType(TTargaType value);

  TTarga* Targa() const { return targa_.get(); }
  // Replaces the held graphic by a new one that copies value's bitmaps. A null value leaves the
  // new graphic empty and raises EConvertError.
  void SetTarga(const TTarga* value);

  TMouseEnterEvent OnMouseEnter;
  TMouseLeaveEvent OnMouseLeave;
  TNotifyEvent OnChange;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void GraphicChanged();
  void AttachGraphic();
  void Push();

  bool autoSize_ = false;
  TTargaColorDepthType colorDepth_ = cd8bit;
  bool includeAlphaChannel_ = false;
  bool stretch_ = false;
  TTargaType targaType_ = ttNoImageData;
  TTargaViewType viewType_ = tvBitmap;
  std::unique_ptr<TTarga> targa_;
};
