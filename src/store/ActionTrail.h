#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class Database;

// The action names recorded so far (操作记录.动作).
namespace trail_action {
inline const QString kReturnDish = QStringLiteral("退菜");
inline const QString kDiscount = QStringLiteral("折扣");
inline const QString kReopenBill = QStringLiteral("反结账");
inline const QString kDeleteBill = QStringLiteral("删除账单");
inline const QString kChangePrice = QStringLiteral("改价");
inline const QString kOnAccount = QStringLiteral("挂账");
inline const QString kMoveTable = QStringLiteral("转台");
inline const QString kSplitBill = QStringLiteral("拆单");
inline const QString kMergeTables = QStringLiteral("并台");
inline const QString kUndoMerge = QStringLiteral("撤销并台");
} // namespace trail_action

// Every action name above, in the order the 操作记录 window offers them.
inline const QStringList kTrailActions{trail_action::kReturnDish,  trail_action::kDiscount,
                                       trail_action::kReopenBill,  trail_action::kDeleteBill,
                                       trail_action::kChangePrice, trail_action::kOnAccount,
                                       trail_action::kMoveTable,   trail_action::kSplitBill,
                                       trail_action::kMergeTables, trail_action::kUndoMerge};

// The reasons a user picks from (操作记录.原因); 其他 lets them type their own.
inline const QStringList kTrailReasons{QStringLiteral("顾客不要了"), QStringLiteral("上错菜"),
                                       QStringLiteral("菜品质量"), QStringLiteral("等太久"),
                                       QStringLiteral("其他")};

// One recorded action: who (工号) did what, where, why and with whose approval. An empty time is filled
// with now when the action is appended.
struct Action {
    QString staff;
    QString action;
    QString table;
    QString bill;
    QString content; // what changed: "before → after"
    QString reason;
    QString approver; // 工号 of who approved, or empty
    QString time;     // yyyy-MM-dd HH:mm:ss
};

// A row of the trail as stored.
struct TrailRow {
    qint64 serial = 0; // 序号
    Action action;
    QString check; // 校验
};

// Which rows to read: dated in [first, last] (a null date leaves that end open), of one 工号 and one 桌号
// when given, with the action name holding the text or being exactly `action`; by 序号 or, when asked,
// newest 时间 first.
struct TrailFilter {
    QDate first;
    QDate last;
    QString staff;
    QString actionContains;
    QString table;
    QString action;
    bool newestFirst = false;
};

// How many rows of one action one 工号 recorded on one day.
struct TrailDayCount {
    QDate day;
    QString staff;
    QString action;
    qint64 count = 0;
};

// What verify() found: the whole trail, or the first row that was changed or is missing.
struct TrailCheck {
    enum class Problem { None, Changed, Missing };
    Problem problem = Problem::None;
    qint64 serial = 0; // 序号 of the first broken row
    bool whole() const { return problem == Problem::None; }
};

// The action trail (操作记录): rows are only ever appended, each chained to the one before by its 校验, a
// SHA-256 over the previous 校验 and the row's own fields. On a file the chain shows a changed row and a
// deleted one before the newest; deleting the newest rows leaves a shorter chain that is still whole,
// which the file cannot tell (there is nowhere to keep the end that a writer of the file could not also
// change). On a server the table refuses UPDATE, DELETE and TRUNCATE itself (see Schema.cpp).
class ActionTrail {
public:
    explicit ActionTrail(Database& db) : db_(db) {}

    // Appends the action inside the caller's write step, or in a step of its own when none is open.
    // Returns the 序号 it got.
    qint64 append(Action action);
    TrailCheck verify();
    QList<TrailRow> rows(const TrailFilter& filter = {});
    // The rows of the given actions dated in [first, last], counted per day, 工号 and action by the
    // database: newest day first, then by 工号 and action.
    QList<TrailDayCount> dailyCounts(const QDate& first, const QDate& last, const QStringList& actions);

    // The 校验 of a row following the row whose 校验 is `previous` (empty for the first row).
    static QString CheckOf(const QString& previous, qint64 serial, const Action& action);

private:
    Database& db_;
};
