#pragma once

#include <QString>

// Staff passwords are stored only as slow salted hashes (Argon2id, libsodium's encoded form, which carries
// its own salt and cost). What is hashed is the password as the login compares it: trimmed of blanks at
// both ends and lower-cased, so "Ab86 " and "ab86" are the same password.
QString NormalizedPassword(const QString& entered);

// Throws StoreError when the hash cannot be made (out of memory).
QString HashPassword(const QString& entered);

// True when `entered` is the password `hash` was made from; false for a hash that is not one.
bool PasswordHashMatches(const QString& entered, const QString& hash);
