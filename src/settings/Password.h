#pragma once

#include <QString>

class Database;

// Password rules of the login and of 综合设置's 修改密码: how an entry is compared and how a new one is
// stored.
inline const QString kFactoryPassword = QStringLiteral("739");

// The entry matches when both texts agree once trimmed of blanks and lower-cased.
bool PasswordMatches(const QString& entered, const QString& stored);

// The factory password is shown in the box in clear text, so a new installation logs in with Enter.
struct LoginPrefill {
    QString text;
    bool masked;
};
LoginPrefill LoginPrefillFor(const QString& stored);

enum class PasswordChange {
    NewMissing, // the new password is empty or only blanks
    OldWrong,   // the old password does not match the stored one
    Changed,
};

// Whether a typed new password is missing: empty or only blanks.
bool NewPasswordMissing(const QString& typed);

// Changes the login password of the settings row. The old password is compared with blanks removed at both
// ends, the stored one as it stands, exactly and case-sensitively; the new one is stored with blanks
// removed at both ends. Check and write are one transaction. A new password longer than its column throws
// StoreError and nothing is written.
PasswordChange ChangePassword(Database& db, const QString& oldPassword, const QString& newPassword);
