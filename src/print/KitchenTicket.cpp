#include "print/KitchenTicket.h"

#include <algorithm>

namespace {
constexpr double kTicketWidthMm = 65;
constexpr double kFeedMm = 30;
// Row pitch: 8 mm as whole twips.
constexpr double kTicketRowPitchMm = 454 / kTwipsPerMm;
} // namespace

bool HasKitchenLines(const QList<OrderLine>& lines) {
    return std::any_of(lines.begin(), lines.end(),
                       [](const OrderLine& line) { return line.markedForKitchen(); });
}

QString KitchenRowText(const OrderLine& line) {
    QString row = line.name + QStringLiteral("  ") + line.quantity + line.unit;
    if (!line.remark.isEmpty())
        row += QLatin1Char('/') + line.remark;
    return row;
}

ReceiptDocument KitchenTicketDocument(const KitchenTicketData& ticket) {
    // The point (0, 0) lies 3 mm left of the left margin and 5 mm above the top margin; with a margin under
    // 3 mm that would cut the start of every row, so the ticket then starts at the paper's edge.
    const double originX = std::max(ticket.leftMarginMm - 3, 0.0);
    const double originY = std::max(ticket.topMarginMm - 5, -5.0);
    const QFont font = SerifFont(16, true);
    const double lineHeight = TextHeightMm(font);

    ReceiptDocument doc;
    doc.addText(originX, originY + 5, font, QStringLiteral("桌号：") + ticket.tableName);
    doc.addRule(originX, originX + kTicketWidthMm, originY + 13);
    doc.addRule(originX, originX + kTicketWidthMm, originY + 14);

    // Offsets in floating point: rows keep going down however many lines the order has.
    double printPosition = doc.endMm();
    for (qsizetype i = 0; i < ticket.lines.size(); ++i) {
        const OrderLine& line = ticket.lines[i];
        if (!line.markedForKitchen())
            continue;
        const double y = originY + 17 + static_cast<double>(i) * kTicketRowPitchMm;
        doc.addText(originX, y, font, KitchenRowText(line));
        printPosition = y + lineHeight;
    }
    // The paper is fed 30 mm and one empty line past the last row before it ends.
    doc.setEndMm(printPosition + kFeedMm + lineHeight);
    doc.setContinueTopMm(ticket.topMarginMm);
    return doc;
}
