#pragma once

#include <QString>

inline const QString kFactoryPassword = QStringLiteral("739");

// The entry matches when both texts agree once trimmed of blanks and lower-cased.
bool PasswordMatches(const QString& entered, const QString& stored);

// The factory password is shown in the box in clear text, so a new installation logs in with Enter.
struct LoginPrefill {
    QString text;
    bool masked;
};
LoginPrefill LoginPrefillFor(const QString& stored);
