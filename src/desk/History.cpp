#include "desk/History.h"

#include "bill/BillStore.h"
#include "store/Ids.h"

int SequenceWidth(int rowCount) {
    return static_cast<int>(QString::number(std::max(rowCount, 1)).size());
}

QList<HistoryEntry> RunHistoryQuery(Database& db, const HistoryQuery& query) {
    const bool onAccount = query.kind == HistoryQuery::Kind::OnAccount;
    const QList<ClosedBill> bills =
        BillStore(db).closedBills({onAccount, query.searchText, query.start, query.end});
    QList<HistoryEntry> entries;
    entries.reserve(bills.size());
    const int count = static_cast<int>(bills.size());
    // The count sets the width of the sequence numbers, newest bill first.
    const int width = SequenceWidth(count);
    for (int i = 0; i < count; ++i) {
        const ClosedBill& bill = bills.at(i);
        QString line;
        line.reserve(48);
        line += QLatin1Char('[');
        line += QString::number(count - i).rightJustified(width, QLatin1Char('0'));
        line += QLatin1Char(']');
        line += onAccount ? bill.date.left(10) + QStringLiteral(" 00:00") : BillTimeText(bill.billId);
        line += QLatin1Char('[');
        line += bill.customerName.trimmed().isEmpty() ? bill.tableName : bill.customerName;
        line += QLatin1Char(']');
        line += bill.creditMark;
        entries.append({bill.billId, line});
    }
    return entries;
}
