#include "app/Login.h"

bool PasswordMatches(const QString& entered, const QString& stored) {
    return entered.trimmed().toLower() == stored.trimmed().toLower();
}

LoginPrefill LoginPrefillFor(const QString& stored) {
    if (stored == kFactoryPassword)
        return {kFactoryPassword, false};
    return {QString(), true};
}
