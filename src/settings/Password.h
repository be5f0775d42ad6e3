#pragma once

#include <QHash>
#include <QString>

#include <optional>

class Database;

// Password rules of the login, the phones' sign-in and 综合设置's 修改密码, and the staff accounts they
// sign in to: how an entry is compared and how a new one is stored (as a hash, store/PasswordHash.h).
inline const QString kFactoryPassword = QStringLiteral("739");

// The entry matches when both texts agree once trimmed of blanks and lower-cased.
bool PasswordMatches(const QString& entered, const QString& stored);

// One row of 员工.
struct StaffAccount {
    QString id;   // 工号
    QString name; // 姓名
    QString role; // 店长, 收银员 or 服务员
    QString passwordHash;
    bool enabled = true;
};

std::optional<StaffAccount> ReadStaffAccount(Database& db, const QString& staffId);
// The account the login window signs in to while the restaurant has one person: 001 while enabled, else
// the first enabled 店长.
std::optional<StaffAccount> LoginAccount(Database& db);
// The enabled accounts' password hashes by 工号.
QHash<QString, QString> EnabledPasswordHashes(Database& db);
// True when the enabled account `staffId` has the password `entered` (by the rule above).
bool StaffPasswordMatches(Database& db, const QString& staffId, const QString& entered);

// The factory password is shown in the box in clear text, so a new installation logs in with Enter.
struct LoginPrefill {
    QString text;
    bool masked;
};
LoginPrefill LoginPrefillFor(const QString& passwordHash);

enum class PasswordChange {
    NewMissing, // the new password is empty or only blanks
    OldWrong,   // the old password does not match the stored one
    Changed,
};

// Whether a typed new password is missing: empty or only blanks.
bool NewPasswordMissing(const QString& typed);

// Changes the password of the account `staffId`. The old password is compared by the login's rule; the new
// one is stored as the hash of its trimmed, lower-cased text. Check and write are one transaction. A new
// password longer than the 50 characters a password may have throws StoreError and nothing is written.
PasswordChange ChangePassword(Database& db, const QString& staffId, const QString& oldPassword,
                              const QString& newPassword);
