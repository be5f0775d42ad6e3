#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

class Database;

// The guest code of each dining table: a random token kept per table key (餐桌设置.编号) in 桌台令牌. A guest
// page names its table by token only, so another table's address cannot be guessed from a printed one.
namespace TableTokens {

// 16 random bytes from the system source, as 32 lower-case hex digits.
QString NewToken();

// True for text shaped like a token (32 hex digits); anything else is never looked up.
bool LooksLikeToken(const QString& text);

// Token of every listed table key, giving a new one to each key without one; tokens of keys no longer in
// 餐桌设置 are removed. One transaction.
QHash<QString, QString> EnsureTokens(Database& db, const QStringList& keys);

// Drops every token and gives each listed key a new one: every printed code stops working.
QHash<QString, QString> RenewTokens(Database& db, const QStringList& keys);

// The table key a token belongs to; nullopt for an unknown or malformed token.
std::optional<QString> KeyForToken(Database& db, const QString& token);

// The address a guest's code carries: http://<address>:8212/phone/menu.asp?t=<token>.
QString GuestAddress(const QString& localAddress, const QString& token);

} // namespace TableTokens
