#pragma once

#include "bill/SalesTotals.h"
#include "stats/StatsDates.h"

#include <QList>
#include <QString>
#include <utility>

class Database;

// Bill count and money sums of the bills dated in a range (see BillTotals).
using TurnoverTotals = BillTotals;

// Every bill row dated within the range counts, whatever its checkout state. Throws StoreError.
TurnoverTotals ComputeTurnover(Database& db, const DateRange& range);

// Money taken in the range as 收款 holds it (by the payment's day), reversals included: what each method and
// each member of staff took, change given back taken off, in fen. Methods in the order 支付方式 offers them
// (a name no longer offered after them); staff by 工号, named "工号 姓名".
struct PaymentSums {
    QList<std::pair<QString, qint64>> byMethod;
    QList<std::pair<QString, qint64>> byStaff;
    bool operator==(const PaymentSums&) const = default;
};

// Throws StoreError.
PaymentSums ComputePaymentSums(Database& db, const DateRange& range);

// "按支付方式：现金 78  微信 50", a blank line and "按员工：001 店长 128"; empty when nothing was taken.
QString PaymentSumsText(const PaymentSums& sums);

// Writes the turnover and the payment sums into a workbook: "项目" and "金额" over one row per figure.
// Returns an empty text on success, else why it failed.
QString ExportTurnover(const QString& path, const TurnoverTotals& totals, const PaymentSums& sums);

inline const QString kNoTurnover = QStringLiteral("无统计数字");

// The result text: "桌数：N", blank line, "菜品：… 酒水：… 其他：…", blank line, "应收：…  实收：…", blank
// line, "挂账：…"; or "无统计数字" when no bill counts.
QString TurnoverText(const TurnoverTotals& totals);
