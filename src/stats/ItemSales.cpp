#include "stats/ItemSales.h"

#include "bill/SalesTotals.h"
#include "stats/XlsWriter.h"
#include "store/NumberText.h"

std::vector<ItemSalesRow> ComputeItemSales(Database& db, const QString& category, const DateRange& range) {
    std::vector<ItemSalesRow> rows;
    double total = 0;
    for (const ItemTotals& item : SumItems(db, category.trimmed(), range.firstText(), range.lastText())) {
        ItemSalesRow row{item.name, NumberText(item.quantity.value_or(0.0)), item.unit,
                         FormatWhole(item.amount.value_or(0.0))};
        total += ReadNumber(row.amount);
        rows.push_back(std::move(row));
    }
    rows.push_back({kTotalName, QString(), QString(), FormatWhole(total)});
    return rows;
}

std::vector<ItemSalesRow> DisplayRows(const std::vector<ItemSalesRow>& rows) {
    std::vector<ItemSalesRow> shown = rows;
    for (ItemSalesRow& row : shown)
        if (row.amount == QLatin1String("0"))
            row.amount.clear();
    return shown;
}

QString ExportFileName(const QString& chosen) {
    const QString path = chosen.trimmed();
    return path.endsWith(QLatin1String(".xls"), Qt::CaseInsensitive) ? path : path + QStringLiteral(".xls");
}

QString ExportItemSales(const QString& path, const std::vector<ItemSalesRow>& rows) {
    XlsSheet sheet;
    sheet.rows.append({XlsCell::label(QStringLiteral("名称")), XlsCell::label(QStringLiteral("数量")),
                       XlsCell::label(QStringLiteral("单位")), XlsCell::label(QStringLiteral("销售金额"))});
    const auto numberCell = [](const QString& text) {
        const std::optional<double> value = ParseWholeNumber(text);
        return value ? XlsCell::number(*value) : XlsCell::label(text);
    };
    for (const ItemSalesRow& row : rows)
        sheet.rows.append({XlsCell::label(row.name), numberCell(row.quantity), XlsCell::label(row.unit),
                           numberCell(row.amount)});
    // One more formatted row below the last one, as the sheet has always had.
    sheet.rows.append(QList<XlsCell>());
    return WriteXls(path, sheet);
}
