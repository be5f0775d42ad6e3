#include "stats/Turnover.h"

#include "store/NumberText.h"

namespace {

QString sumText(const std::optional<double>& sum) {
    return sum ? NumberText(*sum) : QString();
}

} // namespace

TurnoverTotals ComputeTurnover(Database& db, const DateRange& range) {
    return SumBills(db, range.firstText(), range.lastText());
}

QString TurnoverText(const TurnoverTotals& totals) {
    if (totals.bills == 0)
        return kNoTurnover;
    return QStringLiteral("桌数：%1\n\n菜品：%2  酒水：%3  其他：%4\n\n应收：%5  实收：%6\n\n挂账：%7")
        .arg(QString::number(totals.bills), sumText(totals.dishes), sumText(totals.drinks),
             sumText(totals.others), sumText(totals.receivable), sumText(totals.received),
             sumText(totals.onAccount));
}
