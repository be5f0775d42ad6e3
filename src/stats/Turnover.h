#pragma once

#include "bill/SalesTotals.h"
#include "stats/StatsDates.h"

#include <QString>

class Database;

// Bill count and money sums of the bills dated in a range (see BillTotals).
using TurnoverTotals = BillTotals;

// Every bill row dated within the range counts, whatever its checkout state. Throws StoreError.
TurnoverTotals ComputeTurnover(Database& db, const DateRange& range);

inline const QString kNoTurnover = QStringLiteral("无统计数字");

// The result text: "桌数：N", blank line, "菜品：… 酒水：… 其他：…", blank line, "应收：…  实收：…", blank
// line, "挂账：…"; or "无统计数字" when no bill counts.
QString TurnoverText(const TurnoverTotals& totals);
