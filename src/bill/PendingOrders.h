#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

class Database;

// One dish of a guest's order as the guest chose it: the menu item by its key, with what the guest saw.
struct PendingItem {
    QString menuKey; // 菜单.序号
    QString category;
    QString name;
    QString quantity;
    QString remark;
    bool operator==(const PendingItem&) const = default;
};

// A guest order that waits (待确认) for a waiter to 确认 it at the counter, when the owner asked for that;
// confirmed it becomes lines of the table's bill, refused (已拒绝) it never does.
struct PendingOrder {
    QString id;        // 编号: rises in the order the orders came
    QString tableKey;  // the table's 编号 in 餐桌设置 (what the guest's code names)
    QString tableName; // 桌号 as the guest saw it
    QDateTime at;
    QList<PendingItem> items;
    QString state; // 待确认, 已确认 or 已拒绝
    QString note;  // why it was refused, or what became of it
};

inline const QString kPendingWaiting = QStringLiteral("待确认");
inline const QString kPendingConfirmed = QStringLiteral("已确认");
inline const QString kPendingRefused = QStringLiteral("已拒绝");

// Every read and write of 待确认订单; writes run inside the caller's step.
class PendingOrders {
public:
    explicit PendingOrders(Database& db) : db_(db) {}

    // Stores a new waiting order; its id.
    QString add(const PendingOrder& order);
    std::optional<PendingOrder> find(const QString& id);
    // Orders still waiting, oldest first.
    QList<PendingOrder> waiting();
    // The orders of one table since the day began, newest first (what the guest's bill page lists).
    QList<PendingOrder> ofTable(const QString& tableKey, const QDate& day);
    // 待确认 -> 已确认 or 已拒绝; false when it was no longer waiting (another counter got there first).
    bool settle(const QString& id, const QString& state, const QString& note);

private:
    Database& db_;
};
