#include "settings/Password.h"

#include "store/Database.h"
#include "store/PasswordHash.h"
#include "store/Schema.h"

namespace {

StaffAccount accountOf(const Statement& row) {
    return StaffAccount{row.text(0), row.text(1), row.text(2), row.text(3),
                        row.text(4) == QLatin1String("1")};
}

constexpr const char* kAccountColumns = "\"工号\", \"姓名\", \"角色\", \"密码散列\", \"启用\"";

} // namespace

bool PasswordMatches(const QString& entered, const QString& stored) {
    return NormalizedPassword(entered) == NormalizedPassword(stored);
}

std::optional<StaffAccount> ReadStaffAccount(Database& db, const QString& staffId) {
    Statement read(
        db, (QByteArray("SELECT ") + kAccountColumns + " FROM \"员工\" WHERE \"工号\" = ?").constData());
    read.bind(1, staffId);
    if (!read.next())
        return std::nullopt;
    return accountOf(read);
}

std::optional<StaffAccount> LoginAccount(Database& db) {
    if (std::optional<StaffAccount> first = ReadStaffAccount(db, kFirstStaffId); first && first->enabled)
        return first;
    Statement read(db, (QByteArray("SELECT ") + kAccountColumns +
                        " FROM \"员工\" WHERE \"启用\" = '1' AND \"角色\" = '店长' ORDER BY \"工号\" LIMIT 1")
                           .constData());
    if (!read.next())
        return std::nullopt;
    return accountOf(read);
}

QHash<QString, QString> EnabledPasswordHashes(Database& db) {
    QHash<QString, QString> hashes;
    Statement read(db, "SELECT \"工号\", \"密码散列\" FROM \"员工\" WHERE \"启用\" = '1'");
    while (read.next())
        hashes.insert(read.text(0), read.text(1));
    return hashes;
}

bool StaffPasswordMatches(Database& db, const QString& staffId, const QString& entered) {
    const std::optional<StaffAccount> account = ReadStaffAccount(db, staffId);
    return account && account->enabled && PasswordHashMatches(entered, account->passwordHash);
}

LoginPrefill LoginPrefillFor(const QString& passwordHash) {
    if (PasswordHashMatches(kFactoryPassword, passwordHash))
        return {kFactoryPassword, false};
    return {QString(), true};
}

bool NewPasswordMissing(const QString& typed) {
    return typed.trimmed().isEmpty();
}

PasswordChange ChangePassword(Database& db, const QString& staffId, const QString& oldPassword,
                              const QString& newPassword) {
    if (NewPasswordMissing(newPassword))
        return PasswordChange::NewMissing;
    // Passwords keep the length the settings row allowed them.
    CheckWidths(QStringLiteral("综合设置"), {{"密码", newPassword.trimmed()}});
    const QString hash = HashPassword(newPassword);
    Transaction transaction(db);
    if (!StaffPasswordMatches(db, staffId, oldPassword))
        return PasswordChange::OldWrong;
    Statement write(db, "UPDATE \"员工\" SET \"密码散列\" = ? WHERE \"工号\" = ?");
    write.bind(1, hash).bind(2, staffId).run();
    transaction.commit();
    return PasswordChange::Changed;
}
