#pragma once
// Where the two windows go on the screen: the main window fitted into its screen's available
// area and centred there, the map image window beside it.
#include <QRect>
#include <QSize>

class QScreen;
class QWidget;

namespace placement {

// The screen the window is on, else the primary one; null where there is none.
QScreen* ScreenOf(const QWidget& window);

// Sizes the window so that its frame fits into area; a page of pageSize inside it scrolls when
// the area is smaller than the page.
void FitToArea(QWidget& window, const QSize& pageSize, const QRect& area);

// Moves the window's frame to the centre of its screen's available area.
void CentreOnScreen(QWidget& window);

// Shows the map window beside the main window, touching it, as tall as it; its width stays the
// user's. With activate it comes to the front and takes the focus.
void ShowBeside(QWidget& mapWindow, const QWidget& mainWindow, bool activate);

}  // namespace placement
