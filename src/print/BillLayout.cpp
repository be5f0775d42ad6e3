#include "print/BillLayout.h"

#include "settings/SettingsStore.h"
#include "store/NumberText.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPen>
#include <algorithm>

namespace {
constexpr double kMmPerInch = 25.4;
constexpr double kRuleWidthMm = 0.2;
// Metrics are taken at printer resolution on every device, so line heights do not follow screen hinting.
constexpr int kMeasureDpi = 1200;

QFont CjkFont(const QString& family, double points, bool bold) {
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QImage MeasuringSurface() {
    QImage image(1, 1, QImage::Format_Mono);
    const int dotsPerMeter = qRound(kMeasureDpi / (kMmPerInch / 1000.0));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    return image;
}

constexpr double MeasureDotsPerMm() {
    return kMeasureDpi / kMmPerInch;
}

double DotsPerMmX(const QPaintDevice& device) {
    return device.logicalDpiX() / kMmPerInch;
}
double DotsPerMmY(const QPaintDevice& device) {
    return device.logicalDpiY() / kMmPerInch;
}

double Twips(double twips) {
    return twips / kTwipsPerMm;
}

// Bill coordinates: the point (0, 0) lies 3 mm right of the left margin and 10 mm above the top margin.
struct BillOrigin {
    double x;
    double y;
};

// Row pitch of the order lines: 6 mm as whole twips.
const double kBillRowPitchMm = Twips(340);
// A dish name wraps within its column, a millimetre short of 数量, as the receipt printer's bill does.
constexpr double kBillNameWidthMm = 38;

// The text in lines no wider than widthMm, broken between characters; at least one line.
QStringList WrapToWidthMm(const QFont& font, const QString& text, double widthMm) {
    const QImage surface = MeasuringSurface();
    const QFontMetricsF metrics(font, &surface);
    const double widthDots = widthMm * MeasureDotsPerMm();
    QStringList lines{QString()};
    for (const QChar character : text) {
        if (!lines.last().isEmpty() && metrics.horizontalAdvance(lines.last() + character) > widthDots)
            lines.append(QString());
        lines.last() += character;
    }
    return lines;
}
} // namespace

QFont SerifFont(double points, bool bold) {
    return CjkFont(QStringLiteral("Noto Serif CJK SC"), points, bold);
}
QFont SansFont(double points, bool bold) {
    return CjkFont(QStringLiteral("Noto Sans CJK SC"), points, bold);
}

double TextHeightMm(const QFont& font) {
    const QImage surface = MeasuringSurface();
    return QFontMetricsF(font, &surface).height() / MeasureDotsPerMm();
}

double TextWidthMm(const QFont& font, const QString& text) {
    const QImage surface = MeasuringSurface();
    return QFontMetricsF(font, &surface).horizontalAdvance(text) / MeasureDotsPerMm();
}

void ReceiptDocument::addText(double xMm, double yMm, const QFont& font, const QString& text) {
    ReceiptItem item;
    item.kind = ReceiptItem::Kind::Text;
    item.xMm = xMm;
    item.yMm = yMm;
    item.heightMm = TextHeightMm(font);
    item.font = font;
    item.text = text;
    items_.append(item);
    endMm_ = std::max(endMm_, yMm + item.heightMm);
}

void ReceiptDocument::addRule(double x1Mm, double x2Mm, double yMm) {
    ReceiptItem item;
    item.kind = ReceiptItem::Kind::Rule;
    item.xMm = x1Mm;
    item.x2Mm = x2Mm;
    item.yMm = yMm;
    item.heightMm = kRuleWidthMm;
    items_.append(item);
    endMm_ = std::max(endMm_, yMm + item.heightMm);
}

QList<QList<ReceiptItem>> PaginateReceipt(const ReceiptDocument& document, double pageHeightMm) {
    QList<ReceiptItem> ordered = document.items();
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const ReceiptItem& a, const ReceiptItem& b) { return a.yMm < b.yMm; });
    // A top so low that nothing fits below it would leave one row per page; keep room for the rows.
    const double continueTop = std::clamp(document.continueTopMm(), 0.0, pageHeightMm / 3);

    QList<QList<ReceiptItem>> pages(1);
    double shift = 0;
    for (ReceiptItem item : ordered) {
        const double top = item.yMm - shift;
        const bool runsOff = top + item.heightMm > pageHeightMm;
        const bool pageHasRoom = top > continueTop && !pages.last().isEmpty();
        if (runsOff && pageHasRoom) {
            pages.emplaceBack();
            shift = item.yMm - continueTop;
        }
        item.yMm -= shift;
        pages.last().append(item);
    }
    return pages;
}

void PaintReceiptItems(QPainter& painter, const QList<ReceiptItem>& items) {
    const QPaintDevice& device = *painter.device();
    const double dotsX = DotsPerMmX(device);
    const double dotsY = DotsPerMmY(device);
    painter.save();
    for (const ReceiptItem& item : items) {
        if (item.kind == ReceiptItem::Kind::Rule) {
            QPen pen(Qt::black, std::max(1.0, kRuleWidthMm * dotsY));
            pen.setCapStyle(Qt::FlatCap);
            painter.setPen(pen);
            painter.drawLine(QPointF(item.xMm * dotsX, item.yMm * dotsY),
                             QPointF(item.x2Mm * dotsX, item.yMm * dotsY));
            continue;
        }
        if (item.text.isEmpty())
            continue;
        painter.setPen(Qt::black);
        painter.setFont(item.font);
        const QFontMetricsF metrics(painter.font(), painter.device());
        painter.drawText(QPointF(item.xMm * dotsX, item.yMm * dotsY + metrics.ascent()), item.text);
    }
    painter.restore();
}

void PaintReceipt(QPainter& painter, const ReceiptDocument& document) {
    PaintReceiptItems(painter, document.items());
}

QList<ReceiptItem> ItemsBetween(const ReceiptDocument& document, double topMm, double bottomMm) {
    QList<ReceiptItem> band;
    for (const ReceiptItem& item : document.items())
        if (item.yMm + item.heightMm >= topMm && item.yMm <= bottomMm)
            band.append(item);
    return band;
}

bool PaintReceiptPaged(QPainter& painter, QPagedPaintDevice& device, const ReceiptDocument& document) {
    const double pageHeightMm = device.height() / DotsPerMmY(device);
    const QList<QList<ReceiptItem>> pages = PaginateReceipt(document, pageHeightMm);
    for (qsizetype page = 0; page < pages.size(); ++page) {
        if (page > 0 && !device.newPage())
            return false;
        PaintReceiptItems(painter, pages[page]);
    }
    return true;
}

BillData MakeBillData(SettingsStore& settings, const QString& tableName, const QList<OrderLine>& lines,
                      const QString& receivable, const QString& received) {
    BillData bill;
    bill.restaurantName = settings.restaurantName();
    bill.address = settings.address();
    bill.phone = settings.phone();
    bill.leftMarginMm = settings.leftMarginMm();
    bill.topMarginMm = settings.topMarginMm();
    bill.tableName = tableName;
    bill.lines = lines;
    bill.receivable = receivable;
    bill.received = received;
    bill.printTime = QDateTime::currentDateTime();
    return bill;
}

ReceiptDocument BillReceiptDocument(const BillData& bill) {
    // The restaurant name stands 8 mm below the origin: a top margin under 2 mm would cut it, so the bill
    // then starts at the paper's edge.
    const BillOrigin at{std::max(bill.leftMarginMm + 3, 0.0), std::max(bill.topMarginMm - 10, -8.0)};
    ReceiptDocument doc;
    auto text = [&](double x, double y, const QFont& font, const QString& value) {
        doc.addText(at.x + x, at.y + y, font, value);
    };
    auto rule = [&](double y) { doc.addRule(at.x, at.x + kBillContentWidthMm, at.y + y); };

    const QFont nameFont = SansFont(14, false);
    // A name wider than the area starts at the paper's edge rather than before it.
    const double nameX =
        std::max((kBillAreaWidthMm - TextWidthMm(nameFont, bill.restaurantName)) / 2 - 8, -at.x);
    text(nameX, 8, nameFont, bill.restaurantName);
    text(19, 16, SerifFont(18, true), QStringLiteral("消费清单"));

    const QFont body = SerifFont(11, false);
    const double lineHeight = TextHeightMm(body);
    text(0, 26, body, QStringLiteral("桌号：") + bill.tableName);
    text(0, 32, body,
         QStringLiteral("打印时间：") + bill.printTime.toString(QStringLiteral("yyyy-MM-dd hh:mm")));
    rule(38);
    rule(46);
    text(0, 40, body, QStringLiteral("名称"));
    text(39, 40, body, QStringLiteral("数量"));
    text(55, 40, body, QStringLiteral("金额"));

    // The offsets are computed in floating point, so every row goes further down however long the order is.
    // A long name's further lines push the rows after it down.
    double lastTextTop = 40;
    double rowTop = 47;
    for (const OrderLine& line : bill.lines) {
        const QStringList nameLines = WrapToWidthMm(body, line.name, kBillNameWidthMm);
        for (qsizetype part = 0; part < nameLines.size(); ++part)
            text(0, rowTop + static_cast<double>(part) * lineHeight, body, nameLines.at(part));
        text(40, rowTop, body, line.quantity + line.unit);
        text(54, rowTop, body, FormatMoneyText(line.amount));
        lastTextTop = rowTop + static_cast<double>(nameLines.size() - 1) * lineHeight;
        rowTop = lastTextTop + kBillRowPitchMm;
    }

    const double y = lastTextTop + lineHeight + 1;
    rule(y);
    text(0, y + 2, body, QStringLiteral("合计：") + FormatMoneyText(bill.receivable));
    text(0, y + 8, body, QStringLiteral("实收：") + FormatMoneyText(bill.received));
    rule(y + 14);
    text(0, y + 15, body, QStringLiteral("地址：") + bill.address);
    text(0, y + 21, body, QStringLiteral("电话：") + bill.phone);

    doc.setContinueTopMm(bill.topMarginMm);
    return doc;
}
