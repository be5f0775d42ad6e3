#pragma once

#include "settings/Password.h"

#include <QList>
#include <QStringList>

#include <optional>

class Database;

// What a role may do without a 店长's approval (角色权限). A right a role lacks is not a flat refusal: the
// action asks for a 店长's password on the spot.
namespace staff_right {
inline const QString kOrder = QStringLiteral("点菜");
inline const QString kKitchen = QStringLiteral("后厨打印");
inline const QString kCheckout = QStringLiteral("结账");
inline const QString kDiscount = QStringLiteral("折扣");
inline const QString kTakeBack = QStringLiteral("退菜");
inline const QString kTransfer = QStringLiteral("转台");
inline const QString kReopen = QStringLiteral("反结账");
inline const QString kDeleteBill = QStringLiteral("删除账单");
inline const QString kMenu = QStringLiteral("菜单设置");
inline const QString kSettings = QStringLiteral("综合设置");
inline const QString kStatistics = QStringLiteral("营业统计");
} // namespace staff_right

// Every right, in the order the 店长 sees them.
const QStringList& StaffRights();

// The rights of a new installation: 店长 everything; 收银员 orders, the kitchen, checkout, discounts, 退菜
// and 转台; 服务员 orders and the kitchen. Reopening a closed bill is the 店长's alone.
bool DefaultAllows(const QString& role, const QString& right);

// The stored rights (a row of 角色权限 overrides the default). A 店长 may always do everything.
bool RoleAllows(Database& db, const QString& role, const QString& right);
// Throws StoreError for the 店长's rights, which cannot be taken away.
void SetRoleRight(Database& db, const QString& role, const QString& right, bool allowed);

// 收银员折扣下限: the lowest 折扣 (as the bill takes it: 0.8 means 实收 is 80 % of 应收) that staff other
// than a 店长 give without a 店长's approval. "0", the default, means no limit. Exact decimal text.
QString DiscountLimit(Database& db);
// Throws StoreError, storing nothing, for anything but a number from 0 to 1 with at most 4 decimals.
void SetDiscountLimit(Database& db, const QString& limit);

// One role's right as the 店长 sets it on the 角色权限 tab.
struct RoleRight {
    QString role;
    QString right;
    bool allowed = false;
};
// The 角色权限 tab's 保存: the rights and the discount limit in one step, all of it or nothing. Throws
// StoreError as SetRoleRight and SetDiscountLimit do, so one refused value stores none of the others.
void SaveRoleRights(Database& db, const QList<RoleRight>& rights, const QString& discountLimit);

// The 工号 of the enabled 店长 whose 工号 and password these are; nothing otherwise. An approval by
// oneself counts: a 店长 who is signed in approves their own actions.
std::optional<QString> OwnerApproval(Database& db, const QString& ownerId, const QString& password);
