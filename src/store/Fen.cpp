#include "store/Fen.h"

#include "store/NumberText.h"

#include <QRegularExpression>
#include <cmath>

std::optional<qint64> ParseFen(const QString& text) {
    static const QRegularExpression amount(QStringLiteral("^(-?)(\\d{1,13})(?:\\.(\\d{0,2}))?$"));
    const QRegularExpressionMatch match = amount.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QString decimals = (match.captured(3) + QStringLiteral("00")).left(2);
    const qint64 fen = match.captured(2).toLongLong() * 100 + decimals.toLongLong();
    return match.captured(1).isEmpty() ? fen : -fen;
}

QString FenText(qint64 fen) {
    const bool negative = fen < 0;
    const qint64 whole = (negative ? -fen : fen) / 100;
    const qint64 cents = (negative ? -fen : fen) % 100;
    QString text = QString::number(whole);
    if (cents != 0) {
        text += QLatin1Char('.') + QStringLiteral("%1").arg(cents, 2, 10, QLatin1Char('0'));
        if (text.endsWith(QLatin1Char('0')))
            text.chop(1);
    }
    return negative && fen != 0 ? QLatin1Char('-') + text : text;
}

qint64 StoredFen(const QString& text) {
    if (const std::optional<qint64> exact = ParseFen(text))
        return *exact;
    // FormatFixed rounds the decimal value as written, never a double's tail.
    const std::optional<qint64> rounded = ParseFen(FormatFixed(ReadNumber(text), 2));
    return rounded.value_or(0);
}
