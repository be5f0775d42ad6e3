#include "mobile/CodeSheet.h"

#include "mobile/TableTokens.h"
#include "mobile/qr/QRCode.h"
#include "settings/SettingsStore.h"

#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>

namespace CodeSheet {

namespace {

constexpr double kNamePoints = 16;

double pixelsPerMm(const QPaintDevice& device) {
    return device.logicalDpiY() / 25.4;
}

void paintCode(QPainter& painter, const QRect& cell, const TableCode& code, const QFont& font) {
    const QFontMetrics metrics(font, painter.device());
    const int nameHeight = metrics.height() * 2;
    const int side = std::min(cell.width(), cell.height() - nameHeight) * 70 / 100;
    const QImage symbol = clsQRCode()
                              .EncodeText(code.address.toUtf8(), 0, clsQRCode::kLevelM, 0)
                              .convertToFormat(QImage::Format_RGB32);
    if (!symbol.isNull() && side >= symbol.width()) {
        const int scale = side / symbol.width(); // whole device pixels per module
        const QImage scaled =
            symbol.scaled(symbol.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        const int left = cell.left() + (cell.width() - scaled.width()) / 2;
        const int top = cell.top() + (cell.height() - nameHeight - scaled.height()) / 2;
        painter.drawImage(QPoint(left, top), scaled);
    }
    const QRect nameBox(cell.left(), cell.bottom() - nameHeight, cell.width(), nameHeight);
    painter.setFont(font);
    painter.drawText(nameBox, Qt::AlignHCenter | Qt::AlignTop,
                     metrics.elidedText(code.name, Qt::ElideRight, cell.width()));
}

} // namespace

QImage Symbol(const QByteArray& bytes) {
    return clsQRCode().EncodeTextBestMask(bytes, 0, clsQRCode::kLevelM);
}

QList<TableCode> TableCodes(Database& db, const QString& localAddress) {
    SettingsStore settings(db);
    const QStringList names = settings.tableList();
    const QStringList keys = settings.tableKeys();
    const QHash<QString, QString> tokens = TableTokens::EnsureTokens(db, keys);
    QList<TableCode> codes;
    for (int i = 0; i < names.size() && i < keys.size(); ++i)
        if (tokens.contains(keys.at(i)))
            codes.append({names.at(i), TableTokens::GuestAddress(localAddress, tokens.value(keys.at(i)))});
    return codes;
}

void Paint(QPainter& painter, QPagedPaintDevice& device, const QList<TableCode>& codes) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::black);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPointSizeF(kNamePoints);

    const int margin = static_cast<int>(kMarginMm * pixelsPerMm(device));
    const QRect page(margin, margin, device.width() - 2 * margin, device.height() - 2 * margin);
    const int cellWidth = page.width() / kColumns;
    const int cellHeight = page.height() / kRows;
    constexpr int perPage = kColumns * kRows;
    for (int i = 0; i < codes.size(); ++i) {
        if (i > 0 && i % perPage == 0)
            device.newPage();
        const int place = i % perPage;
        const QRect cell(page.left() + (place % kColumns) * cellWidth,
                         page.top() + (place / kColumns) * cellHeight, cellWidth, cellHeight);
        paintCode(painter, cell, codes.at(i), font);
    }
}

} // namespace CodeSheet
