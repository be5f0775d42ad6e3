#pragma once

#include "bill/BillHeader.h"
#include "bill/OrderLine.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

class Database;
class Statement;

// A closed bill as the history list finds it.
struct ClosedBill {
    QString billId;
    QString date;         // 日期 as stored
    QString customerName; // 姓名
    QString tableName;    // 桌号
    QString creditMark;   // 挂账状态: "◆" while money is on the customer's account
};

// Which closed bills to list: those dated in [first, last] (either order) whose customer name holds the
// text, optionally only those with money on account.
struct ClosedBillQuery {
    bool onAccountOnly = false;
    QString nameContains;
    QDate first;
    QDate last;
};

// A page of a history query: bills older than `before` (the last one of the page shown; empty: from the
// newest), at most `limit` of them (0: all). `alongIds` reads them walking the bill ids newest first
// instead of sorting the dates' bills, which answers at once however many there are; it is right only
// when every bill the query finds was opened on one of its days (see ClosedBillCount).
struct ClosedBillPage {
    QString before;
    int limit = 0;
    bool alongIds = false;
};

// How many bills a history query finds, and how many of them were opened (their id) on a day outside the
// query's dates, e.g. a bill of an older file whose date was set by hand.
struct ClosedBillCount {
    int bills = 0;
    int openedOutsideDates = 0;
};

// Every read and write of bills (桌台) and their lines (明细), and of the table slots that point at them.
// Statements only, each with bound values: the rules of an open bill live in BillDocument. Writes of
// single rows run inside the caller's Transaction; the whole-bill steps (delete, settle, transfer) are a
// transaction of their own, or a savepoint inside the caller's.
class BillStore {
public:
    // On a database server, every change of a table's slot or of a bill's head is announced on this
    // channel, so the other counters redraw their tiles at once.
    static constexpr const char* kTablesChannel = "cjpos_tables";

    explicit BillStore(Database& db) : db_(db) {}

    // The stored head of a bill, without its opening time; nullopt when there is no such bill row.
    std::optional<BillHeader> header(const QString& billId);
    // The lines of a bill in display order.
    QList<OrderLine> lines(const QString& billId);
    bool hasBill(const QString& billId);
    // 应收 of each of these bills that has a row, by bill id.
    QHash<QString, QString> receivables(const QStringList& billIds);

    // A bill id that no bill row, no line and no table slot uses yet, starting from the given time and
    // moving on a second at a time.
    QString unusedBillId(const QDateTime& now);
    // A line id that no line of any bill uses: another table may add its line with the same count in the
    // same second.
    QString unusedLineId(const QDateTime& addedAt, int linesBefore);

    // One line of a bill as stored now; nullopt when it is no longer there.
    std::optional<OrderLine> line(const QString& billId, const QString& lineId);
    // `addedBy` (工号) and `addedAt` go into 明细.点菜人 and 点菜时间: who added the line and when.
    void addLine(const QString& billId, const QString& billDate, const OrderLine& line,
                 const QString& addedBy = {}, const QDateTime& addedAt = {});
    // Writes quantity, price, amount, remark and served mark of the line with the same id; false when the
    // bill no longer has that line.
    bool changeLine(const QString& billId, const OrderLine& line);
    bool removeLine(const QString& billId, const QString& lineId);

    // Writes the bill row from the header (a new row when `insert`), leaving 退桌状态 as it is.
    void writeHeader(const BillHeader& header, bool insert);
    // Writes the sums of the lines (菜品费用, 酒水费用, 其他费用, 应收) alone.
    void writeTotals(const BillHeader& header);
    // Writes the named fields alone (挂账状态 goes with 挂账金额).
    void writeFields(const BillHeader& header, BillFields fields);
    void setLeaveState(const QString& billId, const QString& leaveState);
    void removeHeader(const QString& billId);

    // Deletes a bill and all its lines in one step; refused while another counter has the bill open.
    void deleteBill(const QString& billId);

    // Refuse (StoreError with the message staff see) a counter's write to a table or a closed bill that
    // another counter has open. The phone pages write into such a table; the counter there follows.
    void checkTableNotClaimed(int table);
    void checkBillNotClaimed(const QString& billId);
    static QString ClaimedTableMessage() { return QStringLiteral("该桌正在其他收银台点餐"); }

    // The occupation slot of a table (its open bill id, or empty) as stored.
    QString slotOf(int table);
    // Every table's slot as stored (NULL reads as empty).
    QStringList slots(int tableCount);
    void writeSlot(int table, const QString& value);
    // Frees a table in one step: empties its slot and marks the bill it held as left. With the 应收 the
    // user was shown, a bill that has changed since is not settled: the result says what it holds now.
    enum class SettleStatus { Settled, Changed };
    struct SettleResult {
        SettleStatus status = SettleStatus::Settled;
        QString billId;     // the bill the slot held; empty for a free table
        QString receivable; // its 应收 as stored
    };
    SettleResult settle(int table, const std::optional<QString>& shownReceivable = std::nullopt);
    // Moves the open bill of one table to another, free table, in one step, deciding on the slots as
    // stored now, so a table a phone has just occupied is not taken.
    // The bill takes the target table's name (桌号) in the same step, and the action trail records the
    // move with who did it (工号) and the 店长 who approved it, if anyone had to.
    enum class TransferResult { Moved, TargetOccupied, SourceFree };
    TransferResult transfer(int source, int target, const QString& targetName = QString(),
                            const QString& staff = QString(), const QString& approver = QString());

    // Bills whose party has left, newest first.
    QList<ClosedBill> closedBills(const ClosedBillQuery& query, const ClosedBillPage& page = {});
    ClosedBillCount countClosedBills(const ClosedBillQuery& query);

    // Throw StoreError naming the field when a value is longer than its column; nothing is written then.
    static void CheckLineWidths(const OrderLine& line);
    static void CheckHeaderWidths(const BillHeader& header);

    // The number of bills and the sum of their 应收, to check a copy of the whole database.
    qint64 billCount();
    double receivableOfAllBills();

    // 挂账状态 of a bill with this amount on account.
    static QString CreditMark(const QString& credit);

private:
    static OrderLine lineFrom(const Statement& row);
    void tellOtherCounters();
    Database& db_;
};
