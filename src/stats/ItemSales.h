#pragma once

#include "stats/StatsDates.h"

#include <QString>
#include <QStringList>
#include <vector>

class Database;

// One row of the item statistic: name, quantity in general number form, unit, amount as a whole number.
struct ItemSalesRow {
    QString name;
    QString quantity;
    QString unit;
    QString amount;

    bool operator==(const ItemSalesRow&) const = default;
};

inline const QString kTotalName = QStringLiteral("合计");

// Every item of the category (outer blanks ignored) sold in the range, in order of the names, followed by
// the "合计" row. Quantity and amount are the sums of the lines' values; the unit is that of the item's first
// line (the one stored first); the amount is rounded halves away from zero, and the total adds the rounded
// amounts. Throws StoreError.
std::vector<ItemSalesRow> ComputeItemSales(Database& db, const QString& category, const DateRange& range);

// What the grid shows: the same rows with an amount of exactly "0" left empty.
std::vector<ItemSalesRow> DisplayRows(const std::vector<ItemSalesRow>& rows);

// The grid shows 16 rows; more rows make it scroll from position 0 to rows − 16.
inline constexpr int kVisibleRows = 16;
inline int ScrollMaximum(int rowCount) {
    return rowCount > kVisibleRows ? rowCount - kVisibleRows : 0;
}

// The export file name: ".xls" is added unless the chosen name already ends in it (in any letter case).
QString ExportFileName(const QString& chosen);

// Writes the header "名称", "数量", "单位", "销售金额" and the rows into a workbook; quantities and amounts
// are stored as numbers, names and units as text. Returns an empty text on success, else why it failed.
QString ExportItemSales(const QString& path, const std::vector<ItemSalesRow>& rows);
