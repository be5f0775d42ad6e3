#pragma once

#include <QString>
#include <optional>
#include <vector>

class Database;

// Bill count and money sums of the bills dated in a range, whatever their checkout state (a bill a 并台
// emptied into another is not counted). A sum is empty when the column held no value (NULL) in every
// counted bill; text that is no number adds 0.
struct BillTotals {
    qint64 bills = 0;
    std::optional<double> dishes;
    std::optional<double> drinks;
    std::optional<double> others;
    std::optional<double> receivable;
    std::optional<double> received;
    std::optional<double> onAccount;

    bool operator==(const BillTotals&) const = default;
};

// One item sold in a range: its name, the unit of its first line (the one stored first), and the sums of
// its lines' quantities and amounts (empty when every value was NULL).
struct ItemTotals {
    QString name;
    QString unit;
    std::optional<double> quantity;
    std::optional<double> amount;
};

// Dates are "yyyy-mm-dd", both ends included. Both throw StoreError.
BillTotals SumBills(Database& db, const QString& firstDate, const QString& lastDate);
// Items of one category, in order of their names.
std::vector<ItemTotals> SumItems(Database& db, const QString& category, const QString& firstDate,
                                 const QString& lastDate);
