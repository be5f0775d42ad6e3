#include "bill/SalesTotals.h"

#include "bill/TableRegroup.h"

#include "store/Database.h"
#include "store/NumberFunction.h"

namespace {

std::optional<double> optionalSum(const Statement& query, int column) {
    return SumValue(query.isNull(column), query.text(column));
}

} // namespace

BillTotals SumBills(Database& db, const QString& firstDate, const QString& lastDate) {
    RegisterSumFunction(db);
    Statement query(db, "SELECT count(*), cj_sum(\"菜品费用\"), cj_sum(\"酒水费用\"), cj_sum(\"其他费用\"), "
                        "cj_sum(\"应收\"), cj_sum(\"实收\"), cj_sum(\"挂账金额\") "
                        "FROM \"桌台\" WHERE \"日期\" BETWEEN ? AND ? AND ifnull(\"退桌状态\", '') <> ?");
    // A bill a 并台 emptied into another is no table of its own; its lines count with the joined bill.
    query.bind(1, firstDate).bind(2, lastDate).bind(3, TableRegroup::MergedState());
    BillTotals totals;
    if (!query.next())
        return totals;
    totals.bills = query.integer(0);
    totals.dishes = optionalSum(query, 1);
    totals.drinks = optionalSum(query, 2);
    totals.others = optionalSum(query, 3);
    totals.receivable = optionalSum(query, 4);
    totals.received = optionalSum(query, 5);
    totals.onAccount = optionalSum(query, 6);
    return totals;
}

std::vector<ItemTotals> SumItems(Database& db, const QString& category, const QString& firstDate,
                                 const QString& lastDate) {
    RegisterSumFunction(db);
    // The unit is the one of the item's first line in the range.
    Statement query(db, "SELECT item.\"名称\", (SELECT \"单位\" FROM \"明细\" WHERE rowid = item.first), "
                        "item.quantity, item.amount FROM (SELECT \"名称\", min(rowid) AS first, "
                        "cj_sum(\"数量\") AS quantity, cj_sum(\"金额\") AS amount FROM \"明细\" "
                        "WHERE \"分类\" = ? AND \"日期\" BETWEEN ? AND ? GROUP BY \"名称\") AS item "
                        "ORDER BY item.\"名称\"");
    query.bind(1, category).bind(2, firstDate).bind(3, lastDate);
    std::vector<ItemTotals> items;
    while (query.next())
        items.push_back({query.text(0), query.text(1), optionalSum(query, 2), optionalSum(query, 3)});
    return items;
}
