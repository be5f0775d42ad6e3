#include "settings/Password.h"

#include "store/Database.h"
#include "store/Schema.h"

bool PasswordMatches(const QString& entered, const QString& stored) {
    return entered.trimmed().toLower() == stored.trimmed().toLower();
}

LoginPrefill LoginPrefillFor(const QString& stored) {
    if (stored == kFactoryPassword)
        return {kFactoryPassword, false};
    return {QString(), true};
}

bool NewPasswordMissing(const QString& typed) {
    return typed.trimmed().isEmpty();
}

PasswordChange ChangePassword(Database& db, const QString& oldPassword, const QString& newPassword) {
    if (NewPasswordMissing(newPassword))
        return PasswordChange::NewMissing;
    const QString replacement = newPassword.trimmed();
    CheckWidths(QStringLiteral("综合设置"), {{"密码", replacement}});
    Transaction transaction(db);
    qint64 row = -1;
    QString stored;
    {
        Statement read(db, "SELECT rowid, \"密码\" FROM \"综合设置\" ORDER BY rowid LIMIT 1");
        if (!read.next())
            return PasswordChange::OldWrong;
        row = read.integer(0);
        stored = read.text(1);
    }
    if (stored != oldPassword.trimmed())
        return PasswordChange::OldWrong;
    Statement write(db, "UPDATE \"综合设置\" SET \"密码\" = ? WHERE rowid = ?");
    write.bind(1, replacement).bind(2, row).run();
    transaction.commit();
    return PasswordChange::Changed;
}
