#pragma once

#include <QString>
#include <array>
#include <optional>

class Database;

// Money columns of a bill in the order 菜品费用, 酒水费用, 其他费用, 应收, 实收, 挂账金额; nullopt stores
// NULL.
using BillMoney = std::array<std::optional<QString>, 6>;

void AddBill(Database& db, const QString& id, const QString& date, const BillMoney& money,
             const QString& leaveState = QStringLiteral("yes"));

// One order line; lines are stored in the order of the calls.
void AddLine(Database& db, const QString& date, const QString& name, const QString& category,
             const QString& quantity, const QString& unit, const QString& amount);
