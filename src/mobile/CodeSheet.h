#pragma once

#include <QImage>
#include <QList>
#include <QString>

class Database;
class QPagedPaintDevice;
class QPainter;

// One table's code on the printed sheet.
struct TableCode {
    QString name;    // 餐桌名称, printed under the code
    QString address; // what the code carries
};

namespace CodeSheet {

// Codes on one A4 page: three across, four down.
inline constexpr int kColumns = 3;
inline constexpr int kRows = 4;
// Blank edge of the page.
inline constexpr double kMarginMm = 12;

// The code for `bytes` at level M with the mask of lowest penalty, as the encoder draws it (one pixel a
// module, 4-module light border).
QImage Symbol(const QByteArray& bytes);

// The guest code of every listed table (tokens made where missing), in the order of the table list.
QList<TableCode> TableCodes(Database& db, const QString& localAddress);

// Paints the codes page by page on a device set to A4 (printer or PDF), starting new pages on `device`
// as needed, twelve codes a page in rows. Each code is drawn by the program's encoder with every module a
// whole number of device pixels, never smoothed, and the table's name centred under it.
void Paint(QPainter& painter, QPagedPaintDevice& device, const QList<TableCode>& codes);

} // namespace CodeSheet
