// Lenient number reading and the number formats: no crash, and the results keep their promises.
// Input: the text read by ReadNumber (UTF-8). When the input is at least eight bytes long, its first eight
// bytes are also taken as a raw double, so NaN, infinities and subnormals reach the formats too.

#include "store/NumberText.h"

#include <QRegularExpression>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void fail(const char* what, const QString& detail) {
    std::fprintf(stderr, "fuzz_number: %s: %s\n", what, detail.toUtf8().constData());
    std::abort();
}

bool isPlainNumber(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^-?(0|[1-9][0-9]*)(\\.[0-9]*[1-9])?$"));
    return pattern.match(text).hasMatch();
}

bool isFixed(const QString& text, int decimals) {
    const QString pattern = decimals > 0 ? QStringLiteral("^-?(0|[1-9][0-9]*)\\.[0-9]{%1}$").arg(decimals)
                                         : QStringLiteral("^-?(0|[1-9][0-9]*)$");
    return QRegularExpression(pattern).match(text).hasMatch();
}

// NumberText: plain decimal, never "-0", at most 15 significant digits, and read back as the same value
// within the 15-digit rounding.
void checkNumberText(double value) {
    const QString text = NumberText(value);
    if (!isPlainNumber(text))
        fail("NumberText gave a malformed number", text + QStringLiteral(" for %1").arg(value, 0, 'g', 17));
    if (text == QLatin1String("-0"))
        fail("NumberText gave -0", text);
    if (!std::isfinite(value)) {
        if (text != QLatin1String("0"))
            fail("NumberText of a non-finite value is not 0", text);
        return;
    }
    QString digits = text;
    digits.remove(QLatin1Char('-')).remove(QLatin1Char('.'));
    while (digits.startsWith(QLatin1Char('0')) && digits.size() > 1)
        digits.remove(0, 1);
    while (digits.endsWith(QLatin1Char('0')) && digits.size() > 1)
        digits.chop(1);
    if (digits.size() > 15)
        fail("NumberText gave more than 15 significant digits", text);
    // Values within 15-digit rounding of the largest double round up past it and read back as 0: known,
    // and far beyond any amount, so they are left out of the read-back check.
    if (std::fabs(value) > 1.7976931348623e308)
        return;
    const double back = ReadNumber(text);
    if (std::fabs(back - value) > std::fabs(value) * 1e-14 && !(std::fabs(value) < 1e-300))
        fail("NumberText does not read back", text + QStringLiteral(" for %1").arg(value, 0, 'g', 17));
    if (NumberText(back) != text && std::fabs(value) >= 1e-300)
        fail("NumberText is not stable", text + QStringLiteral(" then ") + NumberText(back));
}

// FormatFixed: the form "0.00" with exactly `decimals` places, never "-0.00", and within half a unit of
// the last place of the value's 15-digit decimal form.
void checkFormatFixed(double value, int decimals) {
    const QString text = FormatFixed(value, decimals);
    if (!isFixed(text, decimals))
        fail("FormatFixed gave a malformed number",
             text + QStringLiteral(" for %1 with %2 places").arg(value, 0, 'g', 17).arg(decimals));
    static const QRegularExpression negativeZero(QStringLiteral("^-[0.]*$"));
    if (negativeZero.match(text).hasMatch())
        fail("FormatFixed gave a negative zero", text);
    if (!std::isfinite(value) || std::fabs(value) > 1.7976931348623e308)
        return;
    const double shown = ReadNumber(NumberText(value));
    const double unit = std::pow(10.0, -decimals);
    const double back = ReadNumber(text);
    if (std::fabs(back - shown) > unit / 2 + std::fabs(shown) * 1e-14 + 1e-300)
        fail("FormatFixed is more than half a unit away",
             text + QStringLiteral(" for %1 with %2 places").arg(value, 0, 'g', 17).arg(decimals));
    if (decimals == 0 && FormatWhole(value) != text)
        fail("FormatWhole differs from FormatFixed(value, 0)", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const double read = ReadNumber(text);
    if (!std::isfinite(read))
        fail("ReadNumber gave a non-finite value", text);
    checkNumberText(read);
    // The decimals come from the input's length, so every text is tried with 0 to 6 places.
    const int decimals = static_cast<int>(size % 7);
    checkFormatFixed(read, decimals);
    checkFormatFixed(read, 2);

    const QString money = FormatMoneyText(text);
    if (text.trimmed().isEmpty() && !money.isEmpty())
        fail("FormatMoneyText of blank text is not empty", text);
    if (!text.trimmed().isEmpty() && money != text && !isFixed(money, 2))
        fail("FormatMoneyText gave a malformed amount", money + QStringLiteral(" for ") + text);

    if (size >= sizeof(double)) {
        double raw = 0;
        std::memcpy(&raw, data, sizeof raw);
        checkNumberText(raw);
        checkFormatFixed(raw, decimals);
        checkFormatFixed(raw, 2);
    }
    return 0;
}
