#pragma once

#include <QStringList>

class QWidget;

// Where a window hides part of what it shows: every visible label, button, check box, group box title,
// line edit, combo box, grid cell and grid header whose text is wider or taller than the room the widget
// gives it (font metrics against its contents rectangle, word wrap taken into account), and every visible
// grid row cut by the grid's bottom edge. One line per finding, naming the widget; empty when all is whole.
//
// Names are the one exception, since a name may be longer than any box or column: a line edit holding one
// of longNames scrolls it, and a grid cell may show the start of one (alone or after its number) when its
// tooltip holds the whole text. Figures, captions and messages always show whole, and so does a grid
// heading standing at the grid's right edge.
QStringList HiddenText(const QWidget* window, const QStringList& longNames = {});

class ReceiptDocument;

// Where a paper layout draws one text over another: every pair of texts whose lines share height and
// whose widths meet. One line per pair; empty when every text stands clear.
QStringList OverlappingTexts(const ReceiptDocument& document);
