#pragma once

#include <QString>

class Database;

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
