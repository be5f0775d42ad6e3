#pragma once

#include <QDate>
#include <QString>
#include <optional>

inline const QString kDateFormatMessage = QStringLiteral("请输入正确日期格式，如“2020-01-15”！");
inline const QString kSpanMessage = QStringLiteral("统计日期范围不能超过1个月！");

// The days a statistic covers, both ends included; first is never after last.
struct DateRange {
    QDate first;
    QDate last;

    QString firstText() const;
    QString lastText() const;
    int days() const { return static_cast<int>(first.daysTo(last)) + 1; }
};

// Both boxes as a user types dates (2024-03-01, 2024-3-1, 2024/03/01); nullopt when either is not a date.
// A start after the end covers the same days as the other order.
std::optional<DateRange> ReadDateRange(const QString& startText, const QString& endText);

// The item statistic covers at most 33 calendar days: the two dates lie at most 32 days apart.
inline constexpr int kMaxSpanDays = 32;
inline bool SpanAllowed(const DateRange& range) {
    return range.first.daysTo(range.last) <= kMaxSpanDays;
}
