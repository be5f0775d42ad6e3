#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

class Database;

// A line of a bill, or part of its quantity, that 拆单 moves to another bill.
struct SplitPart {
    QString lineId;   // 序号
    QString quantity; // how much of it moves, as typed ("1", "0.5"); the whole line when it is all of it
};

// 拆单 and 并台: lines change bills between the tables' open bills. Each is one step on the slots and bills
// as stored now, refused whole (StoreError with the reason staff see) when a table is open on another
// counter or the bills are no longer as the user saw them. Lines keep their id, who added them and when,
// and what the kitchen has of them moves with them, so no kitchen ticket is written. Every step is in the
// action trail with who did it and the 店长 who approved it, if anyone had to.
class TableRegroup {
public:
    explicit TableRegroup(Database& db) : db_(db) {}

    // Who does the steps (工号), and the 店长 who approved them when the role needed it.
    void setActor(const QString& staff, const QString& approver = QString()) {
        staff_ = staff;
        approver_ = approver;
    }

    // 拆单: moves the parts of the open bill of `source` to a new bill on the free table `target` (named
    // `targetName`); returns the new bill's id. The bills' 应收 add up to the old one to the fen: a line
    // split in two keeps its price where both parts come to whole fen, otherwise the moved part gets the
    // fen below its share and the remainder stays on the source bill (each part's price says so). Some
    // line must stay: moving all of them is a 转台.
    QString split(int source, int target, const QString& targetName, const QList<SplitPart>& parts,
                  const QDateTime& now);

    // 并台: joins the open bills of `sources` into the open bill of `target`; the source tables become free
    // and their bills wait, empty, for 撤销并台.
    void merge(int target, const QList<int>& sources, const QDateTime& now);

    // The tables whose bills a 并台 joined into this bill, while it can be undone (the bill is still open).
    QList<int> mergedTables(const QString& billId);

    // 撤销并台: every line the 并台 joined goes back to its own table's bill, as it is now, and each bill
    // back to its table; lines added since stay. Refused once a source table has a new party.
    void undoMerge(int target);

    // 退桌状态 of a bill a 并台 emptied into another.
    static QString MergedState() { return QStringLiteral("并台"); }

private:
    void moveWholeLine(const QString& from, const QString& to, const QString& lineId);
    void moveQuantity(const QString& from, const QString& to, const QString& lineId, qint64 movedUnits,
                      const QDateTime& now, int lineCount);
    void writeTotalsOfLines(const QString& billId);
    // Refuses `step` on a bill whose 实收 or 挂账 was already typed.
    void checkNothingReceived(const QString& billId, const QString& step);
    QString tableNameOf(const QString& billId);

    Database& db_;
    QString staff_;
    QString approver_;
};
