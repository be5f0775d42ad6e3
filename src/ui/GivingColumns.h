#pragma once

#include <QList>

class QTableView;

// Keeps a grid's columns up to lastColumn inside its visible width, so none of them is shown cut at the
// right edge: the giving columns (names and remarks, whose tooltips hold them whole) share what the other
// columns leave, in proportion to their widths as set now, never narrower than a few characters. Columns
// after lastColumn are reached by scrolling sideways. Call once the columns have their designed widths.
void GiveWayToColumns(QTableView* grid, int lastColumn, const QList<int>& givingColumns);
