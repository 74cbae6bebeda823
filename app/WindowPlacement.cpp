#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace placement {

QScreen* ScreenOf(const QWidget& window) {
  return window.screen() ? window.screen() : QGuiApplication::primaryScreen();
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
  QScreen* screen = ScreenOf(window);
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QRect frame = window.frameGeometry();
  // Never with the title bar above the work area, where it could not be grabbed.
  window.move(std::max(area.left(), area.left() + (area.width() - frame.width()) / 2),
              std::max(area.top(), area.top() + (area.height() - frame.height()) / 2));
}

void ShowBeside(QWidget& mapWindow, const QWidget& mainWindow, bool activate) {
  const QRect outer = mainWindow.frameGeometry();
  const int frameHeight = mapWindow.frameGeometry().height() - mapWindow.height();
  mapWindow.move(outer.x() + outer.width(), outer.y());
  mapWindow.resize(mapWindow.width(), outer.height() - frameHeight);
  // While the user works in another program, the map window must not take the keyboard away.
  mapWindow.setAttribute(Qt::WA_ShowWithoutActivating, !activate);
  mapWindow.show();
  // A window shown for the first time learns its frame only now.
  const int shownFrameHeight = mapWindow.frameGeometry().height() - mapWindow.height();
  if (shownFrameHeight != frameHeight)
    mapWindow.resize(mapWindow.width(), outer.height() - shownFrameHeight);
  if (activate) {
    mapWindow.raise();
    mapWindow.activateWindow();
  }
}

}  // namespace placement
