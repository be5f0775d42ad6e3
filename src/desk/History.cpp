#include "desk/History.h"

#include "bill/BillStore.h"
#include "store/Database.h"
#include "store/Ids.h"

#include <algorithm>

int SequenceWidth(int rowCount) {
    return static_cast<int>(QString::number(std::max(rowCount, 1)).size());
}

namespace {

ClosedBillQuery ClosedBillsOf(const HistoryQuery& query) {
    return {query.kind == HistoryQuery::Kind::OnAccount, query.searchText, query.start, query.end};
}

} // namespace

HistoryList::HistoryList(Database& db, HistoryQuery query) : db_(db), query_(std::move(query)) {
    const ClosedBillCount count = BillStore(db_).countClosedBills(ClosedBillsOf(query_));
    total_ = count.bills;
    atEnd_ = total_ == 0;
    // Sorting a few thousand bills costs less than walking the ids past those of other kinds or days.
    alongIds_ = count.openedOutsideDates == 0 && total_ > kSortedAtMost;
}

QList<HistoryEntry> HistoryList::next(int count) {
    QList<HistoryEntry> entries;
    if (atEnd_)
        return entries;
    const QList<ClosedBill> bills =
        BillStore(db_).closedBills(ClosedBillsOf(query_), {lastId_, count, alongIds_});
    atEnd_ = bills.size() < count;
    const bool onAccount = query_.kind == HistoryQuery::Kind::OnAccount;
    // The count sets the width of the sequence numbers, newest bill first.
    const int width = SequenceWidth(total_);
    entries.reserve(bills.size());
    for (const ClosedBill& bill : bills) {
        QString line;
        line.reserve(48);
        line += QLatin1Char('[');
        line += QString::number(std::max(1, total_ - read_++)).rightJustified(width, QLatin1Char('0'));
        line += QLatin1Char(']');
        line += onAccount ? bill.date.left(10) + QStringLiteral(" 00:00") : BillTimeText(bill.billId);
        line += QLatin1Char('[');
        line += bill.customerName.trimmed().isEmpty() ? bill.tableName : bill.customerName;
        line += QLatin1Char(']');
        line += bill.creditMark;
        entries.append({bill.billId, line});
    }
    if (!bills.isEmpty())
        lastId_ = bills.last().billId;
    return entries;
}

QList<HistoryEntry> RunHistoryQuery(Database& db, const HistoryQuery& query) {
    const Transaction reading(db, Transaction::Kind::Read);
    HistoryList list(db, query);
    return list.next(std::max(1, list.total()));
}
