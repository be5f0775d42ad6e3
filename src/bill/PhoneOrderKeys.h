#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

class Database;

// The result kept under the key of a guest order that waits for a waiter's 确认.
inline const QString kOrderResultPending = QStringLiteral("pending");

// The one-time keys of phone orders. The menu page carries a fresh key; the order it leads to is taken once
// under that key, and what became of it is kept, so a double tap or an order sent again after Back gets the
// first answer instead of a second helping.
class PhoneOrderKeys {
public:
    explicit PhoneOrderKeys(Database& db) : db_(db) {}

    // A fresh key, as the menu page carries it.
    static QString NewKey();
    // Whether text has the shape of a key (32 lowercase hex digits).
    static bool LooksLikeKey(const QString& text);

    // What the order under this key came to, when it was already taken.
    std::optional<QString> resultOf(const QString& key);
    // Records the order under its key; runs inside the order's own step, so the key is taken exactly when
    // the order is. Keys older than two days are let go on the way.
    void record(const QString& key, const QString& tableName, const QString& result, const QDateTime& now);

private:
    Database& db_;
};
