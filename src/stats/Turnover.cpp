#include "stats/Turnover.h"

#include "stats/NumberFunction.h"
#include "store/Database.h"
#include "store/NumberText.h"

namespace {

std::optional<double> optionalSum(const Statement& query, int column) {
    return SumValue(query.isNull(column), query.text(column));
}

QString sumText(const std::optional<double>& sum) {
    return sum ? NumberText(*sum) : QString();
}

} // namespace

TurnoverTotals ComputeTurnover(Database& db, const DateRange& range) {
    RegisterSumFunction(db);
    Statement query(db, "SELECT count(*), cj_sum(\"菜品费用\"), cj_sum(\"酒水费用\"), cj_sum(\"其他费用\"), "
                        "cj_sum(\"应收\"), cj_sum(\"实收\"), cj_sum(\"挂账金额\") "
                        "FROM \"桌台\" WHERE \"日期\" BETWEEN ? AND ?");
    query.bind(1, range.firstText()).bind(2, range.lastText());
    TurnoverTotals totals;
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

QString TurnoverText(const TurnoverTotals& totals) {
    if (totals.bills == 0)
        return kNoTurnover;
    return QStringLiteral("桌数：%1\n\n菜品：%2  酒水：%3  其他：%4\n\n应收：%5  实收：%6\n\n挂账：%7")
        .arg(QString::number(totals.bills), sumText(totals.dishes), sumText(totals.drinks),
             sumText(totals.others), sumText(totals.receivable), sumText(totals.received),
             sumText(totals.onAccount));
}
