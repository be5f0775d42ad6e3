// Date reading: only year-month-day with -, / or . between ASCII digits is accepted, every accepted date is
// valid and reads back from its own "yyyy-MM-dd" text.

#include "store/Ids.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QString& detail) {
    std::fprintf(stderr, "fuzz_date: %s: %s\n", what, detail.toUtf8().constData());
    std::abort();
}

bool onlyDigitsAndSeparators(const QString& text) {
    for (const QChar c : text.trimmed())
        if (!(c >= QLatin1Char('0') && c <= QLatin1Char('9')) && c != QLatin1Char('-') &&
            c != QLatin1Char('/') && c != QLatin1Char('.'))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<QDate> date = ParseUserDate(text);
    if (!date)
        return 0;
    if (!date->isValid())
        fail("accepted an invalid date", text);
    if (!onlyDigitsAndSeparators(text))
        fail("accepted a text with other characters than ASCII digits and separators", text);
    if (date->year() < 1 || date->year() > 9999)
        fail("accepted a year outside 1 .. 9999", text);
    const QString stored = DateText(*date);
    if (ParseUserDate(stored) != date)
        fail("the stored text of an accepted date does not read back",
             text + QStringLiteral(" -> ") + stored);
    const QDate earlier = OneMonthBack(*date);
    if (!earlier.isValid() || earlier >= *date || earlier.day() > date->day() || date->addDays(-31) > earlier)
        fail("one month back is wrong", stored + QStringLiteral(" -> ") + DateText(earlier));
    return 0;
}
