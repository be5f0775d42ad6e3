#pragma once

#include "stats/StatsDates.h"

#include <QString>
#include <optional>

class Database;

// Bill count and money sums of the bills dated in a range. A sum is empty when the column held no value
// (NULL) in every counted bill; text that is no number adds 0.
struct TurnoverTotals {
    qint64 bills = 0;
    std::optional<double> dishes;
    std::optional<double> drinks;
    std::optional<double> others;
    std::optional<double> receivable;
    std::optional<double> received;
    std::optional<double> onAccount;

    bool operator==(const TurnoverTotals&) const = default;
};

// Every bill row dated within the range counts, whatever its checkout state. Throws StoreError.
TurnoverTotals ComputeTurnover(Database& db, const DateRange& range);

inline const QString kNoTurnover = QStringLiteral("无统计数字");

// The result text: "桌数：N", blank line, "菜品：… 酒水：… 其他：…", blank line, "应收：…  实收：…", blank
// line, "挂账：…"; or "无统计数字" when no bill counts.
QString TurnoverText(const TurnoverTotals& totals);
