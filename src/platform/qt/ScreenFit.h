#pragma once

#include <QSize>

class QWidget;

namespace norvik::platform {

// Keeps the top-level `window` inside the available area of its screen
// each time it is shown: no larger than that area leaves room for with the
// window's frame, and moved back inside it. A window whose contents need
// more room than that lets them scroll (ScrollingBody).
void FitToScreen(QWidget* window);

// The largest size the window can have on its screen, its frame included.
QSize RoomOnScreen(QWidget* window);

// A widget for the window's contents, in a frameless scroll area that
// fills `window`: the window can then be smaller than its contents need,
// which scroll instead of being cut off. The contents take the whole window
// while it has room for their minimum sizes.
QWidget* ScrollingBody(QWidget* window);

}  // namespace norvik::platform
