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

// Bills whose party has left, newest first, numbered from the row count down to 1. A start date after the
// end date covers the same days as the other order.
QList<HistoryEntry> RunHistoryQuery(Database& db, const HistoryQuery& query);

// Digits of the sequence numbers: enough for the row count (1 below 10, 2 from 10, 3 from 100, ...).
int SequenceWidth(int rowCount);
