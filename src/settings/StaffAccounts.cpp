#include "settings/StaffAccounts.h"

#include "store/Database.h"
#include "store/PasswordHash.h"
#include "store/Schema.h"

namespace {

QList<StaffAccount> readAccounts(Database& db, const char* sql) {
    QList<StaffAccount> accounts;
    Statement read(db, sql);
    while (read.next())
        accounts.append(StaffAccount{read.text(0), read.text(1), read.text(2), read.text(3),
                                     read.text(4) == QLatin1String("1")});
    return accounts;
}

void checkFields(const StaffEdit& edit) {
    if (edit.id.trimmed().isEmpty())
        throw StoreError(QStringLiteral("请输入工号。"));
    if (edit.id.trimmed().size() > 10)
        throw StoreError(QStringLiteral("工号最多 10 个字。"));
    if (edit.name.trimmed().isEmpty())
        throw StoreError(QStringLiteral("请输入姓名。"));
    if (!kStaffRoles.contains(edit.role))
        throw StoreError(QStringLiteral("角色只能是店长、收银员或服务员。"));
    CheckWidths(QStringLiteral("员工"), {{"姓名", edit.name.trimmed()}});
    CheckWidths(QStringLiteral("综合设置"), {{"密码", edit.newPassword.trimmed()}});
}

// Checked inside the write step, after the change: a restaurant always keeps someone who may manage it.
void keepAnOwner(Database& db) {
    Statement owners(db, "SELECT count(*) FROM \"员工\" WHERE \"启用\" = '1' AND \"角色\" = '店长'");
    if (!owners.next() || owners.integer(0) == 0)
        throw StoreError(QStringLiteral("至少要保留一个启用的店长。"));
}

} // namespace

QList<StaffAccount> ReadStaffAccounts(Database& db) {
    return readAccounts(
        db, "SELECT \"工号\", \"姓名\", \"角色\", \"密码散列\", \"启用\" FROM \"员工\" ORDER BY \"工号\"");
}

QList<StaffAccount> EnabledStaffAccounts(Database& db) {
    return readAccounts(db, "SELECT \"工号\", \"姓名\", \"角色\", \"密码散列\", \"启用\" FROM \"员工\" "
                            "WHERE \"启用\" = '1' ORDER BY \"工号\"");
}

void AddStaffAccount(Database& db, const StaffEdit& edit) {
    checkFields(edit);
    if (NewPasswordMissing(edit.newPassword))
        throw StoreError(QStringLiteral("请输入密码。"));
    const QString hash = HashPassword(edit.newPassword);
    Transaction step(db);
    if (ReadStaffAccount(db, edit.id.trimmed()))
        throw StoreError(QStringLiteral("工号 %1 已经有人用了。").arg(edit.id.trimmed()));
    Statement(
        db,
        "INSERT INTO \"员工\" (\"工号\", \"姓名\", \"角色\", \"密码散列\", \"启用\") VALUES (?, ?, ?, ?, ?)")
        .bind(1, edit.id.trimmed())
        .bind(2, edit.name.trimmed())
        .bind(3, edit.role)
        .bind(4, hash)
        .bind(5, edit.enabled ? "1" : "0")
        .run();
    keepAnOwner(db);
    step.commit();
}

void UpdateStaffAccount(Database& db, const StaffEdit& edit) {
    checkFields(edit);
    const QString hash = NewPasswordMissing(edit.newPassword) ? QString() : HashPassword(edit.newPassword);
    Transaction step(db);
    const std::optional<StaffAccount> stored = ReadStaffAccount(db, edit.id.trimmed());
    if (!stored)
        throw StoreError(QStringLiteral("没有工号 %1。").arg(edit.id.trimmed()));
    Statement(
        db,
        "UPDATE \"员工\" SET \"姓名\" = ?, \"角色\" = ?, \"启用\" = ?, \"密码散列\" = ? WHERE \"工号\" = ?")
        .bind(1, edit.name.trimmed())
        .bind(2, edit.role)
        .bind(3, edit.enabled ? "1" : "0")
        .bind(4, hash.isEmpty() ? stored->passwordHash : hash)
        .bind(5, stored->id)
        .run();
    keepAnOwner(db);
    step.commit();
}
