#include "stats/ItemSales.h"

#include "stats/NumberFunction.h"
#include "stats/XlsWriter.h"
#include "store/Database.h"
#include "store/NumberText.h"

std::vector<ItemSalesRow> ComputeItemSales(Database& db, const QString& category, const DateRange& range) {
    RegisterSumFunction(db);
    // With min(rowid) as the only min/max aggregate, the bare "单位" comes from that same line: the first
    // one.
    Statement query(db,
                    "SELECT \"名称\", min(rowid), \"单位\", cj_sum(\"数量\"), cj_sum(\"金额\") FROM \"明细\" "
                    "WHERE \"分类\" = ? AND \"日期\" BETWEEN ? AND ? GROUP BY \"名称\" ORDER BY \"名称\"");
    query.bind(1, category.trimmed()).bind(2, range.firstText()).bind(3, range.lastText());
    std::vector<ItemSalesRow> rows;
    double total = 0;
    while (query.next()) {
        const double quantity = SumValue(query.isNull(3), query.text(3)).value_or(0.0);
        const double amount = SumValue(query.isNull(4), query.text(4)).value_or(0.0);
        ItemSalesRow row{query.text(0), NumberText(quantity), query.text(2), FormatWhole(amount)};
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
        bool ok = false;
        const double value = text.toDouble(&ok);
        return ok ? XlsCell::number(value) : XlsCell::label(text);
    };
    for (const ItemSalesRow& row : rows)
        sheet.rows.append({XlsCell::label(row.name), numberCell(row.quantity), XlsCell::label(row.unit),
                           numberCell(row.amount)});
    // One more formatted row below the last one, as the sheet has always had.
    sheet.rows.append(QList<XlsCell>());
    return WriteXls(path, sheet);
}
