// The Qt prompter: the box a request builds, and the answer a pressed or closed box gives.
#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "GuiTestSupport.h"
#include "app/QtPrompter.h"

namespace {

using platform::MessageRequest;

std::unique_ptr<QMessageBox> Box(uint32_t flags, const std::string& caption = "Title") {
  return std::unique_ptr<QMessageBox>(CreateMessageBox({caption, "line <b>1</b>\nline 2", flags}));
}

TEST(QtPrompter, BoxCarriesCaptionPlainTextIconButtonsAndDefault) {
  auto box = Box(platform::MB_YESNOCANCEL | platform::MB_ICONWARNING | platform::MB_DEFBUTTON2);
  EXPECT_EQ(box->windowTitle(), "Title");
  EXPECT_EQ(box->textFormat(), Qt::PlainText);
  EXPECT_EQ(box->text(), "line <b>1</b>\nline 2");
  EXPECT_EQ(box->icon(), QMessageBox::Warning);
  EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::No));

  auto plain = Box(platform::MB_OK, "");
  EXPECT_EQ(plain->windowTitle().toStdString(), platform::ApplicationTitle());
  EXPECT_EQ(plain->icon(), QMessageBox::NoIcon);
  EXPECT_EQ(plain->standardButtons(), QMessageBox::Ok);

  auto error = Box(platform::MB_RETRYCANCEL | platform::MB_ICONERROR | platform::MB_DEFBUTTON3);
  EXPECT_EQ(error->icon(), QMessageBox::Critical);
  // A default button beyond the set falls back to the first, as Windows does.
  EXPECT_EQ(static_cast<QAbstractButton*>(error->defaultButton()),
            error->button(QMessageBox::Retry));
}

TEST(QtPrompter, AnswersThePressedButtonOrTheSetsEscapeAnswer) {
  auto box = Box(platform::MB_ABORTRETRYIGNORE);
  box->button(QMessageBox::Ignore)->click();
  EXPECT_EQ(MessageBoxAnswer(*box, platform::MB_ABORTRETRYIGNORE), platform::IDIGNORE);

  // Closed without a button: Cancel where the set has one, OK for a lone OK.
  EXPECT_EQ(MessageBoxAnswer(*Box(platform::MB_YESNOCANCEL), platform::MB_YESNOCANCEL),
            platform::IDCANCEL);
  EXPECT_EQ(MessageBoxAnswer(*Box(platform::MB_OK), platform::MB_OK), platform::IDOK);
}

// Presses a button of whatever modal box is up once the event loop runs it.
void PressLater(QMessageBox::StandardButton button) {
  QTimer::singleShot(0, [button] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
      box->button(button)->click();
  });
}

TEST(QtPrompter, MessageBoxRunsModallyAndReturnsTheWindowsAnswer) {
  QtPrompter prompter;
  PressLater(QMessageBox::No);
  EXPECT_EQ(prompter.MessageBox({"c", "Replace it?", platform::MB_YESNO}), platform::IDNO);
  PressLater(QMessageBox::Retry);
  EXPECT_EQ(prompter.MessageBox({"c", "Disk?", platform::MB_RETRYCANCEL}), platform::IDRETRY);
}

TEST(QtPrompter, InputBoxGivesTheTypedTextOrCancels) {
  QtPrompter prompter;
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->textValue(), "old");
    dialog->setTextValue("secret word");
    dialog->accept();
  });
  std::string value;
  ASSERT_TRUE(prompter.InputBox({"Password", "Enter the password", "old"}, value));
  EXPECT_EQ(value, "secret word");

  QTimer::singleShot(0, [] {
    if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget()))
      dialog->reject();
  });
  value = "kept";
  EXPECT_FALSE(prompter.InputBox({"Password", "Enter the password", ""}, value));
  EXPECT_EQ(value, "kept");
}

}  // namespace
