#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace placement {

namespace {

// The screen the window is on, else the primary one; null where there is none.
QScreen* ScreenOf(const QWidget& window) {
  return window.screen() ? window.screen() : QGuiApplication::primaryScreen();
}

// The frame's widths around the client area; zero while no window manager has framed it.
QMargins FrameMargins(const QWidget& window) {
  const QRect frame = window.frameGeometry(), client = window.geometry();
  return {std::max(0, client.left() - frame.left()), std::max(0, client.top() - frame.top()),
          std::max(0, frame.right() - client.right()),
          std::max(0, frame.bottom() - client.bottom())};
}

// The frame's top left nearest to at that keeps a frame of the given size in the area.
QPoint WithinArea(const QRect& area, const QPoint& at, const QSize& frame) {
  if (!area.isValid()) return at;
  return {std::max(area.left(), std::min(at.x(), area.right() + 1 - frame.width())),
          std::max(area.top(), std::min(at.y(), area.bottom() + 1 - frame.height()))};
}

void PlaceBeside(QWidget& mapWindow, const QWidget& mainWindow) {
  const QRect area = AvailableArea(mainWindow);
  const QRect outer = mainWindow.frameGeometry();
  const QMargins mainMargins = FrameMargins(mainWindow);
  // Not framed yet: its frame will be like the main window's.
  QMargins margins = FrameMargins(mapWindow);
  if (margins.isNull()) margins = mainMargins;
  const int marginsWidth = margins.left() + margins.right();
  const int marginsHeight = margins.top() + margins.bottom();
  // As tall as the main window from the client heights: at a fractional scale the rounded frame
  // heights would add up to more than the area.
  int height = mainWindow.height() + mainMargins.top() + mainMargins.bottom() - marginsHeight;
  int width = mapWindow.width();
  if (area.isValid()) {
    height = std::min(height, area.height() - marginsHeight);
    width = std::min(width, area.width() - marginsWidth);
  }
  const QSize frame(width + marginsWidth, height + marginsHeight);
  const bool room = !area.isValid() || outer.right() + frame.width() <= area.right();
  const QPoint at = room ? QPoint(outer.right() + 1, outer.top()) : outer.topLeft();
  mapWindow.resize(std::max(1, width), std::max(1, height));
  mapWindow.move(WithinArea(area, at, frame));
}

// A one-shot watch on a window's exposure; it ends itself after the call.
class ExposeWatch : public QObject {
 public:
  ExposeWatch(QWindow* window, std::function<void()> then)
      : QObject(window), window_(window), then_(std::move(then)) {
    window->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && event->type() == QEvent::Expose && window_->isExposed() && then_) {
      window_->removeEventFilter(this);
      auto then = std::move(then_);
      then_ = nullptr;
      deleteLater();
      then();
    }
    return false;
  }

 private:
  QPointer<QWindow> window_;
  std::function<void()> then_;
};

}  // namespace

QRect AvailableArea(const QWidget& window) {
  QScreen* screen = ScreenOf(window);
  if (!screen) return {};
  // At a fractional scale a frame's widths are rounded to whole pixels of ours and may come out
  // a screen pixel short; the area is taken a pixel smaller for it.
  const qreal ratio = screen->devicePixelRatio();
  const int slack = ratio == std::floor(ratio) ? 0 : 1;
  return screen->availableGeometry().adjusted(0, 0, -slack, -slack);
}

void FitToArea(QWidget& window, const QSize& pageSize, const QRect& area) {
  const QRect frame = window.frameGeometry();
  const int frameWidth = std::max(0, frame.width() - window.width());
  const int frameHeight = std::max(0, frame.height() - window.height());
  const int bar = window.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &window);
  const int roomWidth = std::max(100, area.width() - frameWidth);
  const int roomHeight = std::max(100, area.height() - frameHeight);
  int w = std::min(pageSize.width(), roomWidth);
  int h = std::min(pageSize.height(), roomHeight);
  // A scroll bar in one direction takes room from the other.
  if (h < pageSize.height()) w = std::min(pageSize.width() + bar, roomWidth);
  if (w < pageSize.width()) h = std::min(pageSize.height() + bar, roomHeight);
  window.setFixedSize(w, h);
}

void CentreOnScreen(QWidget& window) {
  const QRect area = AvailableArea(window);
  if (!area.isValid()) return;
  const QSize frame = window.frameGeometry().size();
  MoveWithinArea(window, {area.left() + (area.width() - frame.width()) / 2,
                          area.top() + (area.height() - frame.height()) / 2});
}

void MoveWithinArea(QWidget& window, const QPoint& at) {
  window.move(WithinArea(AvailableArea(window), at, window.frameGeometry().size()));
}

void WhenExposed(QWidget& window, std::function<void()> then) {
  if (QWindow* handle = window.windowHandle()) new ExposeWatch(handle, std::move(then));
}

void ShowBeside(QWidget& mapWindow, const QWidget& mainWindow, bool activate) {
  PlaceBeside(mapWindow, mainWindow);
  // While the user works in another program, the map window must not take the keyboard away.
  mapWindow.setAttribute(Qt::WA_ShowWithoutActivating, !activate);
  const bool wasVisible = mapWindow.isVisible();
  mapWindow.show();
  // A window shown for the first time is framed only now, maybe not at once.
  PlaceBeside(mapWindow, mainWindow);
  if (!wasVisible && mapWindow.windowHandle() && !mapWindow.windowHandle()->isExposed()) {
    QPointer<QWidget> map(&mapWindow);
    QPointer<const QWidget> main(&mainWindow);
    WhenExposed(mapWindow, [map, main] {
      if (map && main) PlaceBeside(*map, *main);
    });
  }
  if (activate) {
    mapWindow.raise();
    mapWindow.activateWindow();
  }
}

}  // namespace placement
