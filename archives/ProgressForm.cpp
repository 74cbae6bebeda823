#include "archives/ProgressForm.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include "platform/Prompter.h"

namespace {

constexpr int kClientWidth = 300;
constexpr int kClientHeight = 100;

QWidget* MainWindow(const QWidget* self) {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget != self && widget->isVisible() && qobject_cast<QMainWindow*>(widget)) return widget;
  return nullptr;
}

}  // namespace

TProgressForm::TProgressForm(TZip& owner, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      owner_(owner),
      label_(new QLabel(QStringLiteral("wait ..."), this)),
      progressBar_(new QProgressBar(this)),
      button_(new QPushButton(QStringLiteral("&Cancel"), this)) {
  setWindowTitle(QString::fromStdString(platform::ApplicationTitle()));
  setFixedSize(kClientWidth, kClientHeight);

  label_->setGeometry(10, 15, 280, label_->sizeHint().height());
  progressBar_->setGeometry(10, 35, 280, progressBar_->sizeHint().height());
  progressBar_->setTextVisible(false);
  button_->setDefault(true);
  button_->resize(button_->sizeHint());
  button_->move((kClientWidth - button_->width()) / 2, 60);
  connect(button_, &QPushButton::clicked, this, [this] { CancelExtraction(); });

  // Centred over the main window when there is one, else over the work area.
  if (QWidget* main = MainWindow(this)) {
    const QRect frame = main->frameGeometry();
    move(frame.left() + (frame.width() - width()) / 2,
         frame.top() + (frame.height() - height()) / 2);
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect rect(QPoint(0, 0), size());
    rect.moveCenter(screen->availableGeometry().center());
    move(rect.topLeft());
  }
}

void TProgressForm::Show() {
  show();
}

void TProgressForm::Hide() {
  hide();
}

void TProgressForm::ShowFileName(const std::string& name) {
  label_->setText(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  label_->move((kClientWidth - label_->width()) / 2, label_->y());
}

void TProgressForm::SetProgressMax(int max) {
  progressBar_->setMaximum(max);
}

void TProgressForm::SetProgressPosition(int position) {
  progressBar_->setValue(std::min(position, progressBar_->maximum()));
}

void TProgressForm::Install() {
  TZip::SetProgressWindowFactory([](TZip& owner) -> std::unique_ptr<ZipProgressWindow> {
    return std::make_unique<TProgressForm>(owner);
  });
}

void TProgressForm::reject() {
  CancelExtraction();
}

void TProgressForm::CancelExtraction() {
  owner_.SetCancel(true);
  hide();
}
