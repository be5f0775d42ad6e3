#pragma once

#include "settings/Password.h"

#include <QList>
#include <QStringList>

class Database;

// The three roles of 员工.角色.
inline const QString kRoleOwner = QStringLiteral("店长");
inline const QString kRoleCashier = QStringLiteral("收银员");
inline const QString kRoleWaiter = QStringLiteral("服务员");
inline const QStringList kStaffRoles{kRoleOwner, kRoleCashier, kRoleWaiter};

// Every account, enabled or not, by 工号.
QList<StaffAccount> ReadStaffAccounts(Database& db);
QList<StaffAccount> EnabledStaffAccounts(Database& db);

// An account as the 员工 window adds or changes it. `newPassword` empty keeps the password of an existing
// account; a new account needs one.
struct StaffEdit {
    QString id;
    QString name;
    QString role;
    bool enabled = true;
    QString newPassword;
};

// Both throw StoreError with a message for the 店长 when the edit breaks a rule: 工号 empty, longer than
// 10 characters or taken; 姓名 empty; an unknown role; a new account without a password; or no enabled
// 店长 left afterwards. Accounts are never deleted (the action trail names them): they are disabled.
void AddStaffAccount(Database& db, const StaffEdit& edit);
void UpdateStaffAccount(Database& db, const StaffEdit& edit);
