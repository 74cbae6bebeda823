#include "app/Unit1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDropEvent>
#include <QEvent>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <utility>

#include "app/Banner.h"
#include "app/DropInput.h"
#include "app/Places.h"
#include "app/Unit2.h"
#include "app/WindowPlacement.h"
#include "app/icon/Icon.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/Strings.h"
#include "tga/TargaImageControl.h"

namespace {

constexpr char kCaption[] = "Ironvale Veve Varevudov by Tolsen";
constexpr char kFileFilter[] = "*.zip, *.rar, *.vka|*.zip;*.rar;*.vka";
constexpr int kClientWidth = 640;
constexpr int kClientHeight = 745;

QString ToQ(const std::string& s) {
  return QString::fromLocal8Bit(s);
}
std::string FromQ(const QString& s) {
  return s.toLocal8Bit().toStdString();
}

QLabel* MakeLabel(QWidget* parent, int left, int top, const char* text) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setText(QString::fromLatin1(text));
  label->move(left, top);
  label->adjustSize();
  return label;
}

QPushButton* MakeButton(QWidget* parent, const QRect& place, const char* caption,
                        const char* hint) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setGeometry(place);
  button->setCursor(Qt::PointingHandCursor);
  button->setAutoDefault(false);
  if (hint) button->setToolTip(QString::fromLatin1(hint));
  return button;
}

TMemo* MakeMemo(QWidget* parent, const QRect& place, bool readOnly) {
  auto* memo = new TMemo(parent);
  memo->setGeometry(place);
  memo->setReadOnly(readOnly);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Lime on black, also while the window is inactive.
  QPalette palette = memo->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, Qt::black);
    palette.setColor(group, QPalette::Text, QColor(0, 255, 0));
  }
  memo->setPalette(palette);
  // Tab moves on to the next control, as everywhere else in the window.
  memo->setTabChangesFocus(true);
  // A dropped package goes to the window, not into the pane as text.
  memo->setAcceptDrops(false);
  memo->viewport()->setAcceptDrops(false);
  return memo;
}

void SetLabelText(QLabel* label, const std::string& text) {
  label->setText(ToQ(text));
  label->adjustSize();
}

// Whether returning from this window to the main window counts as an activation of the main
// window: coming back from another of our forms does; coming back from a message box or one of
// the file and folder dialogs does not, as with the system's own boxes and dialogs.
bool IsFormWindow(QWindow* window) {
  if (!window) return false;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->windowHandle() == window) return qobject_cast<QDialog*>(widget) == nullptr;
  return false;
}

}  // namespace

// --- TForm1 ---

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      OpenDialog1(this),
      BrowseForFolder1(this),
      workflow_(*this) {
  setWindowTitle(QString::fromLatin1(kCaption));
  setWindowIcon(ProgramIcon());
  setFont(TahomaFont(11));
  // The controls sit on a fixed-size page; on a screen too small for it the page scrolls.
  content_ = new QWidget;
  content_->setFixedSize(kClientWidth, kClientHeight);
  scroll_ = new QScrollArea(this);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setFocusPolicy(Qt::NoFocus);
  scroll_->setWidget(content_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroll_);
  setFixedSize(kClientWidth, kClientHeight);
  CreateControls();
  SetSelectionCaption(workflow::kNothingSelected);
  SetTargetCaption(workflow::kNothingSelected);
  setAcceptDrops(true);

  BrowseForFolder1.SetStatusText("Plase select folder");
  // A field to type or paste a path into, besides the tree.
  BrowseForFolder1.SetFlags({bf_EditBox});
  BrowseForFolder1.SetRoot(bl_STANDART);
  BrowseForFolder1.SetCaption("Select Folder");

  connect(qApp, &QGuiApplication::focusWindowChanged, this,
          [this](QWindow* window) { NoteFocusWindow(window); });
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
  QWidget* const page = content_;
  Panel1 = new QFrame(page);
  Panel1->setGeometry(7, 4, 627, 169);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(2);
  Panel1->setAutoFillBackground(true);
  QPalette grey = Panel1->palette();
  grey.setColor(QPalette::Window, QColor(128, 128, 128));
  Panel1->setPalette(grey);

  Image1 = new QLabel(Panel1);
  Image1->setGeometry(8, 8, 257, 153);
  Image1->setPixmap(QPixmap::fromImage(BannerImage()));

  QPalette white = palette();
  white.setColor(QPalette::WindowText, Qt::white);
  Label2 = MakeLabel(Panel1, 368, 24, "Ironvale");
  Label3 = MakeLabel(Panel1, 338, 56, "VKA and VKB Veve Varevudov");
  for (QLabel* label : {Label2, Label3}) {
    label->setFont(TahomaFont(16));
    label->adjustSize();
  }
  Label6 = MakeLabel(Panel1, 412, 93, "Version 1.1");
  Label4 = MakeLabel(Panel1, 392, 140, "Program by Tolsen");
  for (QLabel* label : {Label2, Label3, Label6}) label->setPalette(white);

  BrowseMapFile = MakeButton(page, {8, 192, 180, 40}, "Browse File (ZIP, RAR or VKA)...",
                             "Browse and select a Irv map file (zip, Rar or VKA) to convert");
  BrowseFolderToProcess =
      MakeButton(page, {202, 192, 180, 40}, "Browse Folder...",
                 "Browse and select a folder to process and convert all zip and rar files inside");
  Convert = MakeButton(
      page, {459, 192, 169, 41}, "Convert",
      "Converts the selected file or processes and converts the files in the selected folder");
  Convert->setEnabled(false);
  Label1 = MakeLabel(page, 14, 244, workflow::kNothingSelected);
  SelectVKAFolder = MakeButton(page, {11, 272, 75, 25}, "Select...",
                               "Browse and select a folder to place converted VKA files");
  Label8 = MakeLabel(page, 93, 277, "Target VKA Maps Folder ");
  Label7 = MakeLabel(page, 11, 301, workflow::kNothingSelected);

  showmapimage = new QCheckBox(QStringLiteral("Show map image"), page);
  showmapimage->setGeometry(16, 328, 97, 17);
  // The box was sized for Tahoma's narrow text; a wider font or indicator must not cut it off.
  showmapimage->resize(std::max(97, showmapimage->sizeHint().width()), 17);
  showmapimage->setCursor(Qt::PointingHandCursor);
  showmapimage->setChecked(true);

  Label5 = MakeLabel(page, 168, 360, "Progress Display");
  Label9 = MakeLabel(page, 504, 360, "Files Converted");
  Memo1 = MakeMemo(page, {9, 376, 416, 321}, true);
  Memo2 = MakeMemo(page, {440, 376, 193, 321}, false);

  Button2 = MakeButton(page, {8, 704, 75, 25}, "Clear", "Clears display above");
  Button1 = MakeButton(page, {200, 704, 265, 33}, "Exit", nullptr);
  Button3 = MakeButton(page, {552, 704, 75, 25}, "Clear", nullptr);

  const QWidget* order[] = {Button1, BrowseMapFile,   Memo1,  Button2, BrowseFolderToProcess,
                            Convert, SelectVKAFolder, Panel1, Memo2,   showmapimage,
                            Button3};
  for (size_t i = 1; i < std::size(order); ++i)
    setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));

  connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
  connect(Button2, &QPushButton::clicked, this, [this] { Guarded([this] { Button2Click(); }); });
  connect(Button3, &QPushButton::clicked, this, [this] { Guarded([this] { Button3Click(); }); });
  connect(BrowseMapFile, &QPushButton::clicked, this,
          [this] { Guarded([this] { BrowseMapFileClick(); }); });
  connect(BrowseFolderToProcess, &QPushButton::clicked, this,
          [this] { Guarded([this] { BrowseFolderToProcessClick(); }); });
  connect(SelectVKAFolder, &QPushButton::clicked, this,
          [this] { Guarded([this] { SelectVKAFolderClick(); }); });
  connect(Convert, &QPushButton::clicked, this, [this] { ConvertClick(); });

  // The files pane shows where its files went: a double-click or its menu opens the folder.
  Memo2->viewport()->installEventFilter(this);
  Memo2->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Memo2, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    std::unique_ptr<QMenu> menu(Memo2->createStandardContextMenu(at));
    const int line = Memo2->cursorForPosition(at).blockNumber();
    QAction* open = new QAction(QStringLiteral("Open Folder"), menu.get());
    menu->insertAction(menu->actions().value(0), open);
    menu->insertSeparator(menu->actions().value(1));
    connect(open, &QAction::triggered, this, [this, line] { OpenFolderOfLine(line); });
    menu->exec(Memo2->viewport()->mapToGlobal(at));
  });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Memo2->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
    OpenFolderOfLine(Memo2->cursorForPosition(at).blockNumber());
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::OpenFolderOfLine(int line) {
  // A line that names a folder (where unpacked maps went) opens it; any other the target.
  QString text = Memo2->document()->findBlockByNumber(line).text().trimmed();
  if (text.startsWith(QStringLiteral("-> "))) text = text.mid(3);
  std::string folder = FromQ(text);
  if (folder.empty() || folder.front() != '/' || !platform::DirectoryExists(folder))
    folder = targetText_ == workflow::kNothingSelected ? std::string() : targetText_;
  if (folder.empty()) {
    workflow_.mm("no target folder selected - nothing to open !");
    return;
  }
  if (!places::CurrentFolderOpener().Open(folder))
    workflow_.mm("< " + folder + " > folder open failed !");
}

// --- handlers ---

void TForm1::FormShow() {
  workflow_.FormShow();
}

void TForm1::FormActivate() {
  // Inside a run (the map image window handing the focus back, a box of the archive readers)
  // an activation neither resets the state nor checks: the run's own end brings the next one.
  if (closing_ || workflow_.IsRunning()) return;
  if (!workflow_.FormActivate()) {
    closing_ = true;
    close();
  }
}

void TForm1::Button1Click() {
  close();  // during a run closeEvent asks first
}
void TForm1::Button2Click() {
  Memo1->ClearLines();
}
void TForm1::Button3Click() {
  Memo2->ClearLines();
}

void TForm1::BrowseMapFileClick() {
  OpenDialog1.SetFilter(kFileFilter);
  // Where the last package came from, not the program's own (maybe hidden) folder.
  OpenDialog1.SetInitialDir(places::StartFolder(places::RememberedPackageFolder()));
  if (!OpenDialog1.Execute()) {
    workflow_.SelectionCancelled();
    FocusControl(workflow::Control::BrowseMapFile);
    return;
  }
  if (platform::FileExists(OpenDialog1.FileName()))
    places::RememberPackageFolder(OpenDialog1.FileName());
  workflow_.SelectPackageFile(OpenDialog1.FileName());
}

void TForm1::BrowseFolderToProcessClick() {
  BrowseForFolder1.SetFolderName(places::StartFolder(lastSourceFolder_));
  if (!BrowseForFolder1.Execute()) {
    workflow_.SelectionCancelled();
    return;
  }
  if (platform::DirectoryExists(BrowseForFolder1.FolderName()))
    lastSourceFolder_ = BrowseForFolder1.FolderName();
  workflow_.SelectSourceFolder(BrowseForFolder1.FolderName());
}

void TForm1::SelectVKAFolderClick() {
  // The picker opens at the current target, not at the folder chosen last for the packages.
  BrowseForFolder1.SetFolderName(
      places::StartFolder(targetText_ == workflow::kNothingSelected ? std::string() : targetText_));
  if (BrowseForFolder1.Execute())
    workflow_.SelectTargetFolder(BrowseForFolder1.FolderName());
  else
    FocusControl(workflow::Control::BrowseMapFile);
}

void TForm1::ConvertClick() {
  if (workflow_.IsRunning()) return;
  placedThisRun_ = false;
  quitAfterRun_ = false;
  {
    RunInputGuard guard(*this);
    try {
      workflow_.RunConversion();
    } catch (const std::exception& error) {
      // Whatever ended the run, the window is usable again: browse buttons back, normal cursor.
      SetControlEnabled(workflow::Control::BrowseMapFile, true);
      SetControlEnabled(workflow::Control::BrowseFolderToProcess, true);
      SetBusyCursor(false);
      ShowProgress(0, 0);
      ReportError(error);
    }
  }
  if (quitAfterRun_) close();
}

void TForm1::AskStop(bool endProgram) {
  if (asking_ || !workflow_.IsRunning()) return;
  if (workflow_.StopRequested()) {
    quitAfterRun_ = quitAfterRun_ || endProgram;
    return;
  }
  asking_ = true;
  platform::MessageRequest box;
  box.caption = platform::ApplicationTitle();
  box.text = "A conversion is running.\n\nStop it after the current map?";
  box.flags = platform::MB_YESNO | platform::MB_ICONQUESTION;
  const int answer = platform::CurrentPrompter().MessageBox(box);
  asking_ = false;
  if (answer != platform::IDYES || !workflow_.IsRunning()) return;
  workflow_.RequestStop();
  quitAfterRun_ = quitAfterRun_ || endProgram;
}

void TForm1::DropMimeData(const QMimeData& mime) {
  if (workflow_.IsRunning()) return;
  Guarded([&] { Select(ClassifyDrop(mime)); });
}

void TForm1::SelectAtStart(const std::string& path) {
  startPath_ = path;
}

void TForm1::Select(const DropChoice& choice) {
  switch (choice.kind) {
    case DropChoice::Kind::Folder:
      lastSourceFolder_ = choice.path;
      workflow_.SelectSourceFolder(choice.path);
      break;
    case DropChoice::Kind::Package:
      places::RememberPackageFolder(choice.path);
      workflow_.SelectPackageFile(choice.path);
      break;
    case DropChoice::Kind::Refused:
      workflow_.mm(choice.line);
      break;
  }
}

void TForm1::StopAndEnd() {
  // As the close question's Yes: the map being packed is finished, the work area emptied.
  if (!workflow_.IsRunning()) {
    close();
    return;
  }
  if (!workflow_.StopRequested()) workflow_.RequestStop();
  quitAfterRun_ = true;
}

void TForm1::ReportError(const std::exception& error) {
  platform::CurrentPrompter().MessageBox(
      {"", error.what(), platform::MB_OK | platform::MB_ICONERROR});
}

void TForm1::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ReportError(error);
  }
}

// --- window events ---

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Restoring from the task bar is not a new showing.
  if (event->spontaneous() || shown_) return;
  shown_ = true;
  FitAndCentre();
  // Under a window manager the frame comes later; the window is fitted again with it.
  if (windowHandle() && !windowHandle()->isExposed())
    placement::WhenExposed(*this, [this] { FitAndCentre(); });
  Guarded([this] { FormShow(); });
  activateWindow();
  setAttribute(Qt::WA_KeyboardFocusChange, true);
  // Some window systems never activate a new window by themselves (no window manager, focus
  // stealing prevention); the start-up activation, with its archive.exe check, must still run.
  QTimer::singleShot(0, this, [this] {
    if (!activatedOnce_) {
      activatedOnce_ = true;
      Guarded([this] { FormActivate(); });
    }
    // After the start-up activation, which resets the choices.
    if (!startPath_.empty() && !closing_)
      Guarded([this] { Select(ClassifyPath(std::exchange(startPath_, {}))); });
  });
}

void TForm1::FitAndCentre() {
  const QRect area = placement::AvailableArea(*this);
  if (area.isValid()) FitToWorkArea(area);
  placement::CentreOnScreen(*this);
}

void TForm1::NoteFocusWindow(QWindow* window) {
  // Null is a focus outside the program: coming back from there is no activation of ours.
  if (window == windowHandle() && focusWindow_ != window) cameFrom_ = focusWindow_;
  focusWindow_ = window;
}

void TForm1::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::ActivationChange || !isActiveWindow()) return;
  // The focus-window notice may come before or after this event.
  QWindow* came = focusWindow_ == windowHandle() ? cameFrom_.data() : focusWindow_.data();
  if (!activatedOnce_ || IsFormWindow(came)) {
    activatedOnce_ = true;
    Guarded([this] { FormActivate(); });
  }
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (workflow_.IsRunning()) {
    event->ignore();
    AskStop(true);
    return;
  }
  QWidget::closeEvent(event);
}

void TForm1::keyPressEvent(QKeyEvent* event) {
  // Enter presses the focused button, as Space does.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (auto* button = qobject_cast<QAbstractButton*>(focusWidget())) {
      if (button->isEnabled()) button->click();
      event->accept();
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  // Taken whatever it is, so that a drop of the wrong kind is explained in the log.
  if (!workflow_.IsRunning()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  if (workflow_.IsRunning()) return;
  event->acceptProposedAction();
  DropMimeData(*event->mimeData());
}

void TForm1::FitToWorkArea(const QRect& area) {
  placement::FitToArea(*this, {kClientWidth, kClientHeight}, area);
}

// --- workflow::View ---

TMemo* TForm1::PaneMemo(workflow::Pane pane) const {
  return pane == workflow::Pane::Progress ? Memo1 : Memo2;
}

int TForm1::PaneLineCount(workflow::Pane pane) const {
  return PaneMemo(pane)->LineCount();
}
void TForm1::AppendLine(workflow::Pane pane, const std::string& line, workflow::Tone tone) {
  PaneMemo(pane)->Add(line, tone == workflow::Tone::Warning);
}
std::string TForm1::PaneLine(workflow::Pane pane, int index) const {
  return PaneMemo(pane)->Line(index);
}
void TForm1::RemoveLine(workflow::Pane pane, int index) {
  PaneMemo(pane)->RemoveLine(index);
}

void TForm1::SetPathLabel(QLabel* label, std::string& full, const std::string& text) {
  full = text;
  const QString whole = ToQ(text);
  const int room = kClientWidth - label->x() - 8;
  label->setText(label->fontMetrics().elidedText(whole, Qt::ElideMiddle, room));
  label->setToolTip(whole);
  label->adjustSize();
}

std::string TForm1::SelectionCaption() const {
  return selectionText_;
}
void TForm1::SetSelectionCaption(const std::string& text) {
  SetPathLabel(Label1, selectionText_, text);
}
std::string TForm1::TargetCaption() const {
  return targetText_;
}
void TForm1::SetTargetCaption(const std::string& text) {
  SetPathLabel(Label7, targetText_, text);
}

QWidget* TForm1::ControlWidget(workflow::Control control) const {
  switch (control) {
    case workflow::Control::BrowseMapFile:
      return BrowseMapFile;
    case workflow::Control::BrowseFolderToProcess:
      return BrowseFolderToProcess;
    case workflow::Control::Convert:
      return Convert;
    case workflow::Control::SelectVKAFolder:
      return SelectVKAFolder;
  }
  return nullptr;
}

void TForm1::SetControlEnabled(workflow::Control control, bool enabled) {
  ControlWidget(control)->setEnabled(enabled);
}

void TForm1::FocusControl(workflow::Control control) {
  ControlWidget(control)->setFocus(Qt::OtherFocusReason);
  // The focus frame shows at once, not only after the first Tab.
  setAttribute(Qt::WA_KeyboardFocusChange, true);
}

void TForm1::SetBusyCursor(bool busy) {
  if (busy)
    setCursor(Qt::WaitCursor);
  else
    unsetCursor();
}

bool TForm1::ShowMapImageChecked() const {
  return showmapimage->isChecked();
}

void TForm1::ShowMapImageWindow(const std::string& mapName, const std::string& minimapPath) {
  if (!form2_) return;
  // To the top left once a run: a window the user has moved since stays where it is.
  if (!placedThisRun_) placement::MoveWithinArea(*this, {10, 10});
  placedThisRun_ = true;
  placement::ShowBeside(*form2_, *this,
                        QGuiApplication::applicationState() == Qt::ApplicationActive);
  SetLabelText(form2_->Label1, mapName);
  form2_->TargaImage1->Targa()->LoadTargaFile(minimapPath);
  // Drawn now, not when the event loop next runs: the conversion goes on at once. A window
  // that has just been shown is drawn once the window system has exposed it, so its events are
  // let through (no user input).
  form2_->repaint();
  repaint();
  WhileWaiting();
}

void TForm1::CloseMapImageWindow() {
  if (!form2_ || !form2_->isVisible()) return;
  const bool hadFocus = form2_->isActiveWindow();
  form2_->close();
  // The focus comes back to the main window, whatever the window system would pick.
  if (hadFocus) activateWindow();
}

void TForm1::RecentreMainWindow() {
  placement::CentreOnScreen(*this);
  // The help text follows the run's closing lines; those stay in view, the help below them.
  const int bannerEnd = Memo1->LineCount() - 1;
  FormShow();
  if (bannerEnd >= 0 && Memo1->LineCount() > bannerEnd) Memo1->ShowLineAtBottom(bannerEnd);
}

void TForm1::PumpEvents() {
  // Everything is delivered, so clicks and keys made meanwhile are dropped now rather than
  // replayed after the run (RunInputGuard).
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TForm1::WhileWaiting() {
  PumpEvents();
}

void TForm1::ShowProgress(int done, int total) {
  const QString caption = QString::fromLatin1(kCaption);
  setWindowTitle(total > 0 ? QStringLiteral("%1 of %2 - ").arg(done).arg(total) + caption
                           : caption);
}
