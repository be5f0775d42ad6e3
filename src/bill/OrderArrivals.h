#pragma once

#include <QHash>
#include <QList>
#include <QString>

class Database;

// An order a phone placed (a waiter's, or a guest's by the table's code).
struct ArrivedOrder {
    QString tableName;
    bool waitsForConfirmation = false; // a guest order that waits for 确认 in 顾客订单
    bool operator==(const ArrivedOrder&) const = default;
};

// Tells the counter of orders placed from phones since it last looked, from the orders' one-time keys
// (手机订单令牌), which every placed order writes in its own step. The first look only learns what is
// stored already: orders from before the counter started are not news.
class OrderArrivals {
public:
    explicit OrderArrivals(Database& db) : db_(db) {}

    // The orders stored since the last look, oldest first.
    QList<ArrivedOrder> sinceLastLook();

    // An order stamped a moment before another can commit after it: each look reads back this far from
    // the newest stamp seen, and knows the keys it already saw there.
    static constexpr int kLookBackSeconds = 120;

private:
    Database& db_;
    bool primed_ = false;
    QString newest_;               // the newest 时间 seen
    QHash<QString, QString> seen_; // 令牌 -> 时间, of the keys inside the look-back
};
