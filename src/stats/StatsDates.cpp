#include "stats/StatsDates.h"

#include "store/Ids.h"

#include <utility>

QString DateRange::firstText() const {
    return DateText(first);
}
QString DateRange::lastText() const {
    return DateText(last);
}

std::optional<DateRange> ReadDateRange(const QString& startText, const QString& endText) {
    const std::optional<QDate> start = ParseUserDate(startText);
    const std::optional<QDate> end = ParseUserDate(endText);
    if (!start || !end)
        return std::nullopt;
    if (*start <= *end)
        return DateRange{*start, *end};
    return DateRange{*end, *start};
}
