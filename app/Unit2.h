#pragma once
// TForm2, the map image window: the map name over its minimap, shown beside the main window
// while a package is converted. The main window places and fills it.
#include <QFont>
#include <QWidget>

class QLabel;
class QScrollArea;
class TTargaImage;

// The forms' font: Tahoma at the given pixel height, or a font of about its width where Tahoma
// is not installed (the controls are placed for its text widths).
QFont TahomaFont(int pixelSize);

class TForm2 : public QWidget {
 public:
  explicit TForm2(QWidget* parent = nullptr);

  QLabel* Label1;            // the map name
  TTargaImage* TargaImage1;  // the minimap, at natural size

  // The scroll area that stands in for the form's automatic scroll bars.
  QScrollArea* ScrollBox() const { return scroll_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FitContent();

  QScrollArea* scroll_;
  QWidget* content_;
};
