#pragma once
// Where the two windows go on the screen: the main window fitted into its screen's available
// area and centred there, the map image window beside it.
#include <QRect>
#include <QSize>
#include <functional>

class QWidget;

namespace placement {

// The screen's available area for the window's frame; empty without a screen.
QRect AvailableArea(const QWidget& window);

// Sizes the window so that its frame fits into area; a page of pageSize inside it scrolls when
// the area is smaller than the page.
void FitToArea(QWidget& window, const QSize& pageSize, const QRect& area);

// Moves the window's frame to the centre of its screen's available area.
void CentreOnScreen(QWidget& window);

// Moves the window's frame to at, or as near to it as keeps the whole frame in the available
// area.
void MoveWithinArea(QWidget& window, const QPoint& at);

// Calls then once, when the window system next exposes the window: a window manager has framed
// it by then, so that its frame (title bar and borders) is known and can be fitted.
void WhenExposed(QWidget& window, std::function<void()> then);

// Shows the map window beside the main window, touching it, as tall as it, or over the main
// window where the room beside it is too narrow; always within the available area. Its width
// stays the user's as far as the area allows. With activate it comes to the front and takes the
// focus.
void ShowBeside(QWidget& mapWindow, const QWidget& mainWindow, bool activate);

}  // namespace placement
