#pragma once

#include <QStringList>

class QWidget;

// Where a window cannot be used whole: its frame standing past the free area of its screen (the
// screen less panels and docks), or a visible button lying outside the window or cut by what holds it.
// Buttons in a scrolling area count as reachable, since scrolling brings them into view. One line per
// finding; empty when the window fits.
QStringList OutOfReach(const QWidget* window);
