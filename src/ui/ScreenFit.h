#pragma once

class QApplication;
class QRect;
class QSize;
class QWidget;

// Every window has to be usable on the counter's screen, whatever its size and scale: a window larger
// than its screen's free area (the screen less its panels and docks) is capped to that area, frame
// included, and placed inside it. The layouts give way by scrolling or shrinking their list areas.

// The free area of the screen the window is on (the primary screen before it has one).
QRect AvailableArea(const QWidget* window);

// Caps a top-level window to the free area of its screen, frame included, and grows a window whose
// layout wraps text to the height that text needs at its width (still within the area).
void FitToScreen(QWidget* window);

// Moves a window whose frame stands past an edge of its screen's free area back inside it.
void MoveInsideScreen(QWidget* window);

// The window's size with its frame (a title bar's height added while the frame is unknown).
QSize FramedSize(const QWidget* window);

// Fits every top-level window of the program to its screen as it is shown, and moves one that would
// stand past an edge back inside.
void FitWindowsToScreen(QApplication& app);
