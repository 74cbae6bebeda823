#include "app/DropInput.h"

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/workflow/Workflow.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace {

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

}  // namespace

RunInputGuard::RunInputGuard(TForm1& form) : form_(form) {
  qApp->installEventFilter(this);
}

RunInputGuard::~RunInputGuard() {
  qApp->removeEventFilter(this);
}

bool RunInputGuard::eventFilter(QObject* watched, QEvent* event) {
  if (!IsUserInput(event->type())) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget) return false;  // a window hands its input on to its widgets, seen below
  QWidget* window = widget->window();
  if (window != &form_ && window != form_.MapImageWindow()) return false;
  if (event->type() == QEvent::MouseButtonRelease && widget == form_.Button1) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton &&
        form_.Button1->rect().contains(mouse->position().toPoint()))
      form_.AskStop(true);
  } else if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape && !key->isAutoRepeat()) form_.AskStop(false);
  }
  if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
      event->type() == QEvent::Drop) {
    // Refused, not taken: the source of a drop keeps its data.
    auto* drop = static_cast<QDropEvent*>(event);
    drop->setDropAction(Qt::IgnoreAction);
    drop->ignore();
  } else {
    event->accept();
  }
  return true;
}

DropChoice ClassifyDrop(const QMimeData& mime) {
  const QList<QUrl> urls = mime.urls();
  if (urls.size() > 1)
    return {DropChoice::Kind::Refused,
            {},
            "dropped " + std::to_string(urls.size()) +
                " items, drop one package file or one folder - nothing selected !"};
  if (urls.size() != 1 || !urls.front().isLocalFile())
    return {
        DropChoice::Kind::Refused, {}, "dropped item is no file or folder - nothing selected !"};
  return ClassifyPath(QFile::encodeName(urls.front().toLocalFile()).toStdString());
}

DropChoice ClassifyPath(std::string path) {
  if (path.size() > 1) path = platform::ExcludeTrailingPathDelimiter(path);
  if (platform::DirectoryExists(path)) return {DropChoice::Kind::Folder, path, {}};
  const std::string ext = platform::LowerCase(platform::ExtractFileExt(path));
  if (platform::FileExists(path) && (ext == ".zip" || ext == ".rar" || ext == ".vka"))
    return {DropChoice::Kind::Package, path, {}};
  return {DropChoice::Kind::Refused, path, workflow::NoPackageLine(path)};
}
