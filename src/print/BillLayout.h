#pragma once

#include "bill/OrderLine.h"

#include <QDateTime>
#include <QFont>
#include <QList>
#include <QString>

class QPainter;
class QPagedPaintDevice;
class SettingsStore;

// Paper layouts (bill and kitchen ticket) are built as a list of texts and rules placed in millimetres on the
// printable area, then painted on any QPainter: the preview widget, a printer or a PDF. Print units of the
// layouts are twips, 56.7 to the millimetre.
constexpr double kTwipsPerMm = 56.7;

// Fonts: 宋体 and 黑体 are drawn with the Noto CJK faces.
QFont SerifFont(double points, bool bold);
QFont SansFont(double points, bool bold);

// Height of one printed line of text in the font and the width of a text, in millimetres, measured the same
// way on every device so the layout does not depend on where it is painted.
double TextHeightMm(const QFont& font);
double TextWidthMm(const QFont& font, const QString& text);

struct ReceiptItem {
    enum class Kind { Text, Rule };
    Kind kind = Kind::Text;
    double xMm = 0;  // text: left edge; rule: start
    double yMm = 0;  // text: top of the line; rule: its height
    double x2Mm = 0; // rule: end
    double heightMm = 0;
    QFont font;
    QString text;
};

class ReceiptDocument {
public:
    // Text whose top edge lies at yMm (the old print position was the top of the text, not its baseline).
    void addText(double xMm, double yMm, const QFont& font, const QString& text);
    void addRule(double x1Mm, double x2Mm, double yMm);

    const QList<ReceiptItem>& items() const { return items_; }
    // Where the paper may end: below the last item, including any feed the layout asks for.
    double endMm() const { return endMm_; }
    void setEndMm(double mm) { endMm_ = mm; }
    // On a following page the items go on from this height.
    double continueTopMm() const { return continueTopMm_; }
    void setContinueTopMm(double mm) { continueTopMm_ = mm; }

private:
    QList<ReceiptItem> items_;
    double endMm_ = 0;
    double continueTopMm_ = 0;
};

// Splits the document into pages of the given height: an item that would run past the bottom starts a new
// page, and it and everything after it move up so it stands at continueTopMm. Items come back with their
// positions on their page.
QList<QList<ReceiptItem>> PaginateReceipt(const ReceiptDocument& document, double pageHeightMm);

// Paints items on the painter's device, millimetres converted with the device's resolution.
void PaintReceiptItems(QPainter& painter, const QList<ReceiptItem>& items);
// Paints the whole document on one surface (the preview).
void PaintReceipt(QPainter& painter, const ReceiptDocument& document);
// The items that reach into the band from topMm to bottomMm, so a repaint draws only what is exposed.
QList<ReceiptItem> ItemsBetween(const ReceiptDocument& document, double topMm, double bottomMm);
// Paints page by page on a printer or PDF whose painter is active; false when a new page could not be begun.
bool PaintReceiptPaged(QPainter& painter, QPagedPaintDevice& device, const ReceiptDocument& document);

// Everything the customer bill shows, taken once when it is drawn.
struct BillData {
    QString restaurantName;
    QString address;
    QString phone;
    QString tableName;
    QList<OrderLine> lines;
    QString receivable; // 应收 total as the ordering window shows it
    QString received;   // 实收 as the ordering window shows it
    double leftMarginMm = 0;
    double topMarginMm = 0;
    QDateTime printTime;
};

// Reads the restaurant details and margins from the settings; the print time is now.
BillData MakeBillData(SettingsStore& settings, const QString& tableName, const QList<OrderLine>& lines,
                      const QString& receivable, const QString& received);

// The bill is a 65 mm receipt; the restaurant name is centred over an area of this width, which puts it over
// the middle of the content.
constexpr double kBillContentWidthMm = 65;
constexpr double kBillAreaWidthMm = 81;

// The customer bill "消费清单" in millimetres on the printable area (margins applied).
ReceiptDocument BillReceiptDocument(const BillData& bill);
