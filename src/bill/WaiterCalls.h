#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

class Database;

// A guest's 呼叫服务员, waiting until a counter answers it.
struct WaiterCall {
    QString id;
    QString tableKey;  // 餐桌设置.编号
    QString tableName; // 桌号 as the guest saw it
    QDateTime at;
};

// Every read and write of 呼叫. A table has at most one waiting call: tapping again while the waiter is on
// the way raises nothing new.
class WaiterCalls {
public:
    explicit WaiterCalls(Database& db) : db_(db) {}

    // False when the table's call was already waiting.
    bool call(const QString& tableKey, const QString& tableName, const QDateTime& now);
    // Waiting calls, oldest first.
    QList<WaiterCall> waiting();
    // Whether the table's call still waits (what the guest's page says).
    bool waits(const QString& tableKey);
    // The counter saw them: every waiting call is answered.
    void answerAll();

private:
    Database& db_;
};
