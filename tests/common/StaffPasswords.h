#pragma once

#include "settings/Password.h"
#include "store/Database.h"
#include "store/PasswordHash.h"
#include "store/Schema.h"

// Sets the first account's password, as 修改密码 would store it.
inline void SetFirstStaffPassword(Database& db, const QString& password) {
    Statement(db, "UPDATE \"员工\" SET \"密码散列\" = ? WHERE \"工号\" = ?")
        .bind(1, HashPassword(password))
        .bind(2, kFirstStaffId)
        .run();
}

// True when the first account's stored password is `password` by the login's rule.
inline bool FirstStaffPasswordIs(Database& db, const QString& password) {
    return StaffPasswordMatches(db, kFirstStaffId, password);
}
