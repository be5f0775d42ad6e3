#pragma once

#include <QString>

// A LIKE pattern that finds `text` anywhere, with %, _ and the escape character itself matched literally.
// Use with: ... LIKE ? ESCAPE '\'
inline QString LikeContainsPattern(const QString& text) {
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('%'), QLatin1String("\\%"));
    escaped.replace(QLatin1Char('_'), QLatin1String("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}
