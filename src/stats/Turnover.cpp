#include "stats/Turnover.h"

#include "bill/Payments.h"
#include "stats/XlsWriter.h"
#include "store/Database.h"
#include "store/Fen.h"
#include "store/Ids.h"
#include "store/NumberText.h"

#include <QHash>
#include <QMap>

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

namespace {

// Adds to the named entry, keeping the entries' order; a new name goes last.
void addTo(QList<std::pair<QString, qint64>>& sums, const QString& name, qint64 fen) {
    for (auto& [known, sum] : sums)
        if (known == name) {
            sum += fen;
            return;
        }
    sums.append({name, fen});
}

QString sumsLine(const QList<std::pair<QString, qint64>>& sums) {
    QStringList parts;
    for (const auto& [name, fen] : sums)
        parts.append(name + QLatin1Char(' ') + FenText(fen));
    return parts.join(QStringLiteral("  "));
}

} // namespace

PaymentSums ComputePaymentSums(Database& db, const DateRange& range) {
    const Transaction reading(db, Transaction::Kind::Read);
    PaymentSums sums;
    for (const PaymentMethod& method : PaymentBook(db).methods())
        sums.byMethod.append({method.name, 0});
    QHash<QString, QString> names;
    Statement staff(db, "SELECT \"工号\", \"姓名\" FROM \"员工\"");
    while (staff.next())
        names.insert(staff.text(0), staff.text(1));
    // 时间 is "yyyy-MM-dd HH:mm:ss" on both engines: the days compare as text.
    Statement read(db, "SELECT \"方式\", \"金额\", \"找零\", \"工号\" FROM \"收款\" "
                       "WHERE \"时间\" >= ? AND \"时间\" < ? ORDER BY \"时间\", \"序号\"");
    read.bind(1, range.firstText()).bind(2, DateText(range.last.addDays(1)));
    QMap<QString, qint64> byStaff;
    bool any = false;
    while (read.next()) {
        const qint64 kept = StoredFen(read.text(1)) - StoredFen(read.text(2));
        addTo(sums.byMethod, read.text(0), kept);
        byStaff[read.text(3)] += kept;
        any = true;
    }
    if (!any)
        return {};
    // Methods nothing was taken with are left out.
    sums.byMethod.removeIf([](const std::pair<QString, qint64>& entry) { return entry.second == 0; });
    for (auto it = byStaff.cbegin(); it != byStaff.cend(); ++it)
        sums.byStaff.append({(it.key() + QLatin1Char(' ') + names.value(it.key())).trimmed(), it.value()});
    return sums;
}

QString PaymentSumsText(const PaymentSums& sums) {
    if (sums.byMethod.isEmpty() && sums.byStaff.isEmpty())
        return {};
    return QStringLiteral("按支付方式：%1\n\n按员工：%2")
        .arg(sumsLine(sums.byMethod), sumsLine(sums.byStaff));
}

QString ExportTurnover(const QString& path, const TurnoverTotals& totals, const PaymentSums& sums) {
    XlsSheet sheet;
    const auto row = [&sheet](const QString& name, const std::optional<double>& value) {
        sheet.rows.append({XlsCell::label(name), value ? XlsCell::number(*value) : XlsCell{}});
    };
    sheet.rows.append({XlsCell::label(QStringLiteral("项目")), XlsCell::label(QStringLiteral("金额"))});
    row(QStringLiteral("桌数"), static_cast<double>(totals.bills));
    row(QStringLiteral("菜品"), totals.dishes);
    row(QStringLiteral("酒水"), totals.drinks);
    row(QStringLiteral("其他"), totals.others);
    row(QStringLiteral("应收"), totals.receivable);
    row(QStringLiteral("实收"), totals.received);
    row(QStringLiteral("挂账"), totals.onAccount);
    // Amounts in fen are exact; as yuan they are written with their two decimals.
    for (const auto& [name, fen] : sums.byMethod)
        row(QStringLiteral("支付方式：") + name, ReadNumber(FenText(fen)));
    for (const auto& [name, fen] : sums.byStaff)
        row(QStringLiteral("员工：") + name, ReadNumber(FenText(fen)));
    return WriteXls(path, sheet);
}
