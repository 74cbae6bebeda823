#include "app/QtPrompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <memory>
#include <vector>

namespace {

using Buttons = std::vector<QMessageBox::StandardButton>;

Buttons ButtonsOf(uint32_t flags) {
  switch (flags & platform::kButtonsMask) {
    case platform::MB_OKCANCEL:
      return {QMessageBox::Ok, QMessageBox::Cancel};
    case platform::MB_ABORTRETRYIGNORE:
      return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    case platform::MB_YESNOCANCEL:
      return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case platform::MB_YESNO:
      return {QMessageBox::Yes, QMessageBox::No};
    case platform::MB_RETRYCANCEL:
      return {QMessageBox::Retry, QMessageBox::Cancel};
    default:
      return {QMessageBox::Ok};
  }
}

int AnswerOf(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Ok:
      return platform::IDOK;
    case QMessageBox::Cancel:
      return platform::IDCANCEL;
    case QMessageBox::Abort:
      return platform::IDABORT;
    case QMessageBox::Retry:
      return platform::IDRETRY;
    case QMessageBox::Ignore:
      return platform::IDIGNORE;
    case QMessageBox::Yes:
      return platform::IDYES;
    case QMessageBox::No:
      return platform::IDNO;
    default:
      return 0;
  }
}

// Windows lets a box be closed without a button only when it has a Cancel button (or just OK);
// closing answers Cancel (or OK).
QMessageBox::StandardButton EscapeButtonOf(uint32_t flags) {
  switch (flags & platform::kButtonsMask) {
    case platform::MB_OKCANCEL:
    case platform::MB_YESNOCANCEL:
    case platform::MB_RETRYCANCEL:
      return QMessageBox::Cancel;
    case platform::MB_ABORTRETRYIGNORE:
    case platform::MB_YESNO:
      return QMessageBox::NoButton;
    default:
      return QMessageBox::Ok;
  }
}

QMessageBox::Icon IconOf(uint32_t flags) {
  switch (flags & platform::kIconMask) {
    case platform::MB_ICONERROR:
      return QMessageBox::Critical;
    case platform::MB_ICONQUESTION:
      return QMessageBox::Question;
    case platform::MB_ICONWARNING:
      return QMessageBox::Warning;
    case platform::MB_ICONINFORMATION:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

QString Caption(const std::string& caption) {
  return QString::fromLocal8Bit(caption.empty() ? platform::ApplicationTitle() : caption);
}

}  // namespace

QMessageBox* CreateMessageBox(const platform::MessageRequest& request) {
  auto* box = new QMessageBox(QApplication::activeWindow());
  box->setWindowTitle(Caption(request.caption));
  box->setTextFormat(Qt::PlainText);
  box->setText(QString::fromLocal8Bit(request.text));
  box->setIcon(IconOf(request.flags));
  const Buttons buttons = ButtonsOf(request.flags);
  for (QMessageBox::StandardButton button : buttons) box->addButton(button);
  size_t defaultIndex = (request.flags & platform::kDefaultButtonMask) >> 8;
  if (defaultIndex >= buttons.size()) defaultIndex = 0;
  box->setDefaultButton(buttons[defaultIndex]);
  const QMessageBox::StandardButton escape = EscapeButtonOf(request.flags);
  if (escape != QMessageBox::NoButton) box->setEscapeButton(escape);
  return box;
}

int MessageBoxAnswer(const QMessageBox& box, uint32_t flags) {
  if (QAbstractButton* clicked = box.clickedButton()) {
    int answer = AnswerOf(box.standardButton(clicked));
    if (answer != 0) return answer;
  }
  const QMessageBox::StandardButton escape = EscapeButtonOf(flags);
  return escape != QMessageBox::NoButton ? AnswerOf(escape) : platform::DefaultAnswer(flags);
}

int QtPrompter::MessageBox(const platform::MessageRequest& request) {
  // The box may outlive an owner window that a nested event closes; QPointer notices.
  QPointer<QMessageBox> box(CreateMessageBox(request));
  box->exec();
  if (!box) return platform::DefaultAnswer(request.flags);
  const int answer = MessageBoxAnswer(*box, request.flags);
  delete box.data();
  return answer;
}

bool QtPrompter::InputBox(const platform::InputRequest& request, std::string& value) {
  bool ok = false;
  const QString typed =
      QInputDialog::getText(QApplication::activeWindow(), Caption(request.caption),
                            QString::fromLocal8Bit(request.prompt), QLineEdit::Normal,
                            QString::fromLocal8Bit(request.defaultValue), &ok);
  if (!ok) return false;
  value = typed.toLocal8Bit().toStdString();
  return true;
}
