#pragma once

#include <QDate>
#include <QList>
#include <QString>

class Database;

// One closed bill in the history list: its id and the line shown, e.g. [07]2024-12-12 18:45[大厅3]◆.
struct HistoryEntry {
    QString billId;
    QString line;
};

struct HistoryQuery {
    enum class Kind { Closed, OnAccount };
    Kind kind = Kind::Closed;
    QString searchText; // part of a customer name
    QDate start;
    QDate end;
};

// The bills a history query finds, read a page at a time as the list is scrolled, so years of bills show
// their first screen at once. Newest first, numbered from the row count down to 1 (counted when the query
// starts); a bill closed meanwhile is not taken in, and none is read twice.
class HistoryList {
public:
    HistoryList(Database& db, HistoryQuery query);

    int total() const { return total_; }
    bool atEnd() const { return atEnd_; }
    // The next `count` bills (fewer at the end).
    QList<HistoryEntry> next(int count);

private:
    static constexpr int kSortedAtMost = 2000;

    Database& db_;
    HistoryQuery query_;
    bool alongIds_ = false;
    int total_ = 0;
    int read_ = 0;
    QString lastId_;
    bool atEnd_ = false;
};

// Every bill the query finds (see HistoryList). A start date after the end date covers the same days as
// the other order.
QList<HistoryEntry> RunHistoryQuery(Database& db, const HistoryQuery& query);

// Digits of the sequence numbers: enough for the row count (1 below 10, 2 from 10, 3 from 100, ...).
int SequenceWidth(int rowCount);
