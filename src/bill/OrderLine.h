#pragma once

#include <QList>
#include <QString>
#include <optional>

// A menu item as the ordering window lists it (its text form: each field followed by "@").
struct MenuRecord {
    QString category;    // 0 分类
    QString name;        // 1 名称, brackets restored
    QString quantity;    // 2 数量 (default quantity, as number text)
    QString unit;        // 3 单位
    QString price;       // 4 单价 (as number text)
    QString amount;      // 5 金额 = quantity × price
    QString remark;      // 6 备注
    QString kitchenMark; // 7 "√" for dishes

    QString toText() const;
    // Display line: name[price元/unit], e.g. 宫保鸡丁[28元/份].
    QString displayText() const;
};

// One line of an order. Fields 0..7 are those of the menu record it came from.
struct OrderLine {
    QString category;        // 0 分类
    QString name;            // 1 名称
    QString quantity;        // 2 数量
    QString unit;            // 3 单位
    QString price;           // 4 单价
    QString amount;          // 5 金额
    QString remark;          // 6 备注
    QString kitchenMark;     // 7 后厨打印 mark "√", in memory only, never stored
    QString lineId;          // 8 序号
    QString sortKey;         // 9 排序
    QString served;          // 10 上菜 "√" or empty
    QString kitchenHas = {}; // not in the text form: how much of it the kitchen printers got, empty if none

    // "@"-terminated text form: eleven fields, each followed by "@".
    QString toText() const;
    // Parses the text form; nullopt unless it holds exactly eleven "@"-terminated fields.
    static std::optional<OrderLine> fromText(const QString& text);
    // Ticked for the kitchen: the next 后厨打印 sends it.
    bool markedForKitchen() const;

    bool operator==(const OrderLine&) const = default;
};

inline const QString kMark = QStringLiteral("√");
inline const QString kDishes = QStringLiteral("菜品");
inline const QString kDrinks = QStringLiteral("酒水");
inline const QString kOthers = QStringLiteral("其他");

// A bill's totals as its lines give them: each category's amounts summed as decimals, and 应收 the three
// together (a line of another category counts nowhere).
struct LineTotals {
    QString dishes;
    QString drinks;
    QString others;
    QString receivable;
};
LineTotals TotalsOfLines(const QList<OrderLine>& lines);
