#include "mobile/CodeSheet.h"

#include "mobile/TableTokens.h"
#include "mobile/qr/QRCode.h"
#include "settings/SettingsStore.h"

#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>

#include <cmath>
#include <limits>

namespace CodeSheet {

namespace {

constexpr double kNamePoints = 16;

double pixelsPerMm(const QPaintDevice& device) {
    return device.logicalDpiY() / 25.4;
}

// The usual penalty score of a finished symbol (runs, blocks, finder-like patterns, dark balance): the
// lower it is, the easier a scanner finds and reads the code.
int penalty(const std::vector<std::uint8_t>& modules, int n) {
    const auto at = [&](int row, int column, bool transposed) {
        return transposed ? modules[static_cast<size_t>(column * n + row)]
                          : modules[static_cast<size_t>(row * n + column)];
    };
    int score = 0;
    for (const bool transposed : {false, true}) {
        for (int row = 0; row < n; ++row) {
            int run = 1;
            for (int column = 1; column <= n; ++column) {
                if (column < n && at(row, column, transposed) == at(row, column - 1, transposed)) {
                    ++run;
                    continue;
                }
                if (run >= 5)
                    score += 3 + (run - 5);
                run = 1;
            }
            for (int column = 0; column + 7 <= n; ++column) {
                static constexpr std::uint8_t finder[7] = {1, 0, 1, 1, 1, 0, 1};
                bool match = true;
                for (int k = 0; k < 7 && match; ++k)
                    match = at(row, column + k, transposed) == finder[k];
                if (!match)
                    continue;
                const auto lightRun = [&](int from, int to) {
                    for (int k = from; k < to; ++k)
                        if (k >= 0 && k < n && at(row, k, transposed))
                            return false;
                    return true;
                };
                if (lightRun(column - 4, column) || lightRun(column + 7, column + 11))
                    score += 40;
            }
        }
    }
    int dark = 0;
    for (int row = 0; row < n; ++row)
        for (int column = 0; column < n; ++column) {
            dark += modules[static_cast<size_t>(row * n + column)];
            if (row + 1 < n && column + 1 < n) {
                const std::uint8_t v = at(row, column, false);
                if (at(row, column + 1, false) == v && at(row + 1, column, false) == v &&
                    at(row + 1, column + 1, false) == v)
                    score += 3;
            }
        }
    const int percent = dark * 100 / (n * n);
    return score + 10 * (std::abs(percent - 50) / 5);
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
    clsQRCode encoder;
    int best = 0;
    int bestScore = std::numeric_limits<int>::max();
    for (int mask = 0; mask < 8; ++mask) {
        const std::vector<std::uint8_t> modules = encoder.EncodeModules(bytes, 0, clsQRCode::kLevelM, mask);
        const int n = static_cast<int>(std::lround(std::sqrt(static_cast<double>(modules.size()))));
        if (n == 0)
            return {};
        if (const int score = penalty(modules, n); score < bestScore) {
            bestScore = score;
            best = mask;
        }
    }
    return encoder.EncodeText(bytes, 0, clsQRCode::kLevelM, best);
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
