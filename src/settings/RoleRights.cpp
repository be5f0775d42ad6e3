#include "settings/RoleRights.h"

#include "settings/StaffAccounts.h"
#include "store/Database.h"
#include "store/NumberText.h"
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

namespace {

// The limit is a row of 角色权限 of its own, under the cashier's role, with the number in 允许: no
// schema change, and older programs never read a right by that name.
const QString kDiscountLimitRow = QStringLiteral("折扣下限");
constexpr int kDiscountLimitDecimals = 4;

// The limit as stored: NumberText of a number in [0, 1] with few enough decimals for the column.
std::optional<QString> DiscountLimitText(const QString& typed) {
    const std::optional<double> value = ParseWholeNumber(typed);
    if (!value || !(*value >= 0 && *value <= 1))
        return std::nullopt;
    QString text = NumberText(*value);
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    if (point >= 0 && text.size() - point - 1 > kDiscountLimitDecimals)
        return std::nullopt;
    return text;
}

} // namespace

QString DiscountLimit(Database& db) {
    Statement read(
        db,
        "SELECT \"允许\" FROM \"角色权限\" WHERE \"角色\" = ? AND \"权限\" = ? ORDER BY rowid DESC LIMIT 1");
    read.bind(1, kRoleCashier).bind(2, kDiscountLimitRow);
    if (!read.next())
        return QStringLiteral("0");
    return DiscountLimitText(read.text(0)).value_or(QStringLiteral("0"));
}

void SetDiscountLimit(Database& db, const QString& limit) {
    const std::optional<QString> text = DiscountLimitText(limit);
    if (!text)
        throw StoreError(
            QStringLiteral("收银员折扣下限应是 0 到 1 之间、最多 %1 位小数的数（如 0.8；0 表示不限）。")
                .arg(kDiscountLimitDecimals));
    Transaction step(db);
    Statement(db, "DELETE FROM \"角色权限\" WHERE \"角色\" = ? AND \"权限\" = ?")
        .bind(1, kRoleCashier)
        .bind(2, kDiscountLimitRow)
        .run();
    Statement(db, "INSERT INTO \"角色权限\" (\"角色\", \"权限\", \"允许\") VALUES (?, ?, ?)")
        .bind(1, kRoleCashier)
        .bind(2, kDiscountLimitRow)
        .bind(3, *text)
        .run();
    step.commit();
}

void SaveRoleRights(Database& db, const QList<RoleRight>& rights, const QString& discountLimit) {
    Transaction step(db);
    for (const RoleRight& change : rights) {
        // Only what changed is written: a right left as it was keeps following the defaults.
        if (RoleAllows(db, change.role, change.right) == change.allowed)
            continue;
        SetRoleRight(db, change.role, change.right, change.allowed);
    }
    SetDiscountLimit(db, discountLimit);
    step.commit();
}

std::optional<QString> OwnerApproval(Database& db, const QString& ownerId, const QString& password) {
    const std::optional<StaffAccount> owner = ReadStaffAccount(db, ownerId.trimmed());
    if (!owner || !owner->enabled || owner->role != kRoleOwner ||
        !PasswordHashMatches(password, owner->passwordHash))
        return std::nullopt;
    return owner->id;
}
