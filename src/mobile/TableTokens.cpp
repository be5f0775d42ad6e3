#include "mobile/TableTokens.h"

#include "mobile/MobileService.h"
#include "store/Database.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <array>

namespace TableTokens {

namespace {

QHash<QString, QString> storedTokens(Database& db) {
    QHash<QString, QString> tokens;
    Statement read(db, "SELECT \"编号\", \"令牌\" FROM \"桌台令牌\"");
    while (read.next())
        tokens.insert(read.text(0), read.text(1));
    return tokens;
}

QHash<QString, QString> fillMissing(Database& db, const QStringList& keys) {
    db.exec("DELETE FROM \"桌台令牌\" WHERE \"编号\" NOT IN (SELECT \"编号\" FROM \"餐桌设置\" "
            "WHERE \"编号\" IS NOT NULL)");
    QHash<QString, QString> tokens = storedTokens(db);
    Statement insert(db, "INSERT INTO \"桌台令牌\" (\"编号\", \"令牌\") VALUES (?, ?)");
    for (const QString& key : keys) {
        if (key.isEmpty() || tokens.contains(key))
            continue;
        const QString token = NewToken();
        insert.bind(1, key).bind(2, token);
        insert.run();
        insert.reset();
        tokens.insert(key, token);
    }
    return tokens;
}

} // namespace

QString NewToken() {
    std::array<quint32, 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(words.data()), sizeof words).toHex());
}

bool LooksLikeToken(const QString& text) {
    static const QRegularExpression shape(QStringLiteral("^[0-9a-f]{32}$"));
    return shape.match(text).hasMatch();
}

QHash<QString, QString> EnsureTokens(Database& db, const QStringList& keys) {
    Transaction transaction(db);
    QHash<QString, QString> tokens = fillMissing(db, keys);
    transaction.commit();
    return tokens;
}

QHash<QString, QString> RenewTokens(Database& db, const QStringList& keys) {
    Transaction transaction(db);
    db.exec("DELETE FROM \"桌台令牌\"");
    QHash<QString, QString> tokens = fillMissing(db, keys);
    transaction.commit();
    return tokens;
}

std::optional<QString> KeyForToken(Database& db, const QString& token) {
    if (!LooksLikeToken(token))
        return std::nullopt;
    Statement find(db, "SELECT \"编号\" FROM \"桌台令牌\" WHERE \"令牌\" = ?");
    find.bind(1, token);
    if (!find.next())
        return std::nullopt;
    return find.text(0);
}

QString GuestAddress(const QString& localAddress, const QString& token) {
    return QStringLiteral("http://%1:%2/phone/menu.asp?t=%3")
        .arg(localAddress)
        .arg(MobileService::kPort)
        .arg(token);
}

} // namespace TableTokens
