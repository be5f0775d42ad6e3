#include "settings/RoleRights.h"

#include "settings/StaffAccounts.h"
#include "store/Database.h"
#include "store/PasswordHash.h"

const QStringList& StaffRights() {
    using namespace staff_right;
    static const QStringList rights{kOrder,  kKitchen,    kCheckout, kDiscount, kTakeBack,  kTransfer,
                                    kReopen, kDeleteBill, kMenu,     kSettings, kStatistics};
    return rights;
}

bool DefaultAllows(const QString& role, const QString& right) {
    using namespace staff_right;
    if (role == kRoleOwner)
        return true;
    if (role == kRoleCashier)
        return QStringList{kOrder, kKitchen, kCheckout, kDiscount, kTakeBack, kTransfer}.contains(right);
    if (role == kRoleWaiter)
        return QStringList{kOrder, kKitchen}.contains(right);
    return false;
}

bool RoleAllows(Database& db, const QString& role, const QString& right) {
    if (role == kRoleOwner)
        return true;
    Statement read(
        db,
        "SELECT \"允许\" FROM \"角色权限\" WHERE \"角色\" = ? AND \"权限\" = ? ORDER BY rowid DESC LIMIT 1");
    read.bind(1, role).bind(2, right);
    if (read.next())
        return read.text(0) == QLatin1String("1");
    return DefaultAllows(role, right);
}

void SetRoleRight(Database& db, const QString& role, const QString& right, bool allowed) {
    if (role == kRoleOwner)
        throw StoreError(QStringLiteral("店长的权限不能修改。"));
    if (!kStaffRoles.contains(role) || !StaffRights().contains(right))
        throw StoreError(QStringLiteral("没有角色“%1”或权限“%2”。").arg(role, right));
    Transaction step(db);
    Statement(db, "DELETE FROM \"角色权限\" WHERE \"角色\" = ? AND \"权限\" = ?")
        .bind(1, role)
        .bind(2, right)
        .run();
    Statement(db, "INSERT INTO \"角色权限\" (\"角色\", \"权限\", \"允许\") VALUES (?, ?, ?)")
        .bind(1, role)
        .bind(2, right)
        .bind(3, allowed ? "1" : "0")
        .run();
    step.commit();
}

std::optional<QString> OwnerApproval(Database& db, const QString& ownerId, const QString& password) {
    const std::optional<StaffAccount> owner = ReadStaffAccount(db, ownerId.trimmed());
    if (!owner || !owner->enabled || owner->role != kRoleOwner ||
        !PasswordHashMatches(password, owner->passwordHash))
        return std::nullopt;
    return owner->id;
}
