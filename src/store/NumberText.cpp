#include "store/NumberText.h"

#include <QByteArray>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// Digits and decimal exponent of value rounded to 15 significant digits: value = 0.d1d2...d15 × 10^exp10.
struct Decimal {
    bool negative = false;
    QByteArray digits;     // without leading zeros, without trailing zeros; empty means zero
    int pointPosition = 0; // digits before the decimal point (may be <= 0 or > digits.size())
};

Decimal toDecimal(double value) {
    Decimal d;
    if (!std::isfinite(value) || value == 0.0)
        return d;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", value); // e.g. -1.23450000000000e+02
    const QByteArray text(buffer);
    const int e = text.indexOf('e');
    QByteArray mantissa = text.left(e);
    const int exponent = text.mid(e + 1).toInt();
    if (mantissa.startsWith('-')) {
        d.negative = true;
        mantissa.remove(0, 1);
    }
    mantissa.remove(1, 1); // drop the point: 15 digits
    while (mantissa.endsWith('0'))
        mantissa.chop(1);
    d.digits = mantissa;
    d.pointPosition = exponent + 1;
    return d;
}

QString plainText(const Decimal& d) {
    if (d.digits.isEmpty())
        return QStringLiteral("0");
    QByteArray out;
    if (d.negative)
        out.append('-');
    if (d.pointPosition <= 0) {
        out.append("0.");
        out.append(QByteArray(-d.pointPosition, '0'));
        out.append(d.digits);
    } else if (d.pointPosition >= d.digits.size()) {
        out.append(d.digits);
        out.append(QByteArray(d.pointPosition - d.digits.size(), '0'));
    } else {
        out.append(d.digits.left(d.pointPosition));
        out.append('.');
        out.append(d.digits.mid(d.pointPosition));
    }
    return QString::fromLatin1(out);
}

} // namespace

QString NumberText(double value) {
    return plainText(toDecimal(value));
}

double ReadNumber(const QString& text) {
    QByteArray number;
    bool seenDigit = false;
    bool seenPoint = false;
    bool seenSign = false;
    for (const QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t'))
            continue;
        if ((c == QLatin1Char('-') || c == QLatin1Char('+')) && !seenSign && !seenDigit && !seenPoint) {
            seenSign = true;
            number.append(static_cast<char>(c.unicode()));
        } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            seenDigit = true;
            number.append(static_cast<char>(c.unicode()));
        } else if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
            number.append('.');
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0.0;
    const double value = std::strtod(number.constData(), nullptr);
    // More than 308 digits: the nearest number there is, so writing and reading back agree.
    if (std::isinf(value))
        return std::copysign(std::numeric_limits<double>::max(), value);
    return value;
}

QString FormatFixed(double value, int decimals) {
    Decimal d = toDecimal(value);
    if (d.digits.isEmpty())
        return decimals > 0 ? QStringLiteral("0.") + QString(decimals, QLatin1Char('0'))
                            : QStringLiteral("0");

    // Digit string of the integer value × 10^decimals, rounded half away from zero on the decimal digits.
    const int keep = d.pointPosition + decimals; // how many of the digits survive
    QByteArray scaled;
    if (keep < 0) {
        scaled = "0";
    } else {
        QByteArray all = d.digits;
        if (all.size() < keep)
            all.append(QByteArray(keep - all.size(), '0'));
        scaled = all.left(keep);
        const bool roundUp = all.size() > keep && all.at(keep) >= '5';
        if (scaled.isEmpty())
            scaled = "0";
        if (roundUp) {
            int i = scaled.size() - 1;
            while (i >= 0 && scaled[i] == '9') {
                scaled[i] = '0';
                --i;
            }
            if (i < 0)
                scaled.prepend('1');
            else
                scaled[i] = static_cast<char>(scaled[i] + 1);
        }
    }
    if (scaled.size() <= decimals)
        scaled.prepend(QByteArray(decimals - scaled.size() + 1, '0'));
    QByteArray out = scaled;
    if (decimals > 0)
        out.insert(out.size() - decimals, '.');
    // Strip leading zeros of the integer part, keeping one.
    while (out.size() > 1 && out[0] == '0' && out[1] != '.')
        out.remove(0, 1);
    const bool allZero = out.count('0') + out.count('.') == out.size();
    if (d.negative && !allZero)
        out.prepend('-');
    return QString::fromLatin1(out);
}

std::optional<double> ParseWholeNumber(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

QString FormatMoneyText(const QString& text) {
    if (text.trimmed().isEmpty())
        return QString();
    const std::optional<double> value = ParseWholeNumber(text);
    return value ? FormatFixed(*value, 2) : text;
}

void DecimalSum::add(const QString& text) {
    const double value = ReadNumber(text);
    const QString written = NumberText(value);
    const qsizetype point = written.indexOf(QLatin1Char('.'));
    if (point >= 0)
        decimals_ = std::max(decimals_, static_cast<int>(written.size() - point - 1));
    sum_ += value;
}

double DecimalSum::value() const {
    return ReadNumber(text());
}

QString DecimalSum::text() const {
    return NumberText(ReadNumber(FormatFixed(sum_, decimals_)));
}
