#pragma once

#include <QFlags>
#include <QString>

// The head of a bill as the ordering window shows it and 桌台 stores it. Money and totals are texts, as
// stored; the totals are those of the bill's lines (BillDocument keeps them in step).
struct BillHeader {
    QString billId;       // id: the time the bill was opened, "yyyymmddhhmmss"
    QString tableName;    // 桌号: the dining table's name
    QString openedText;   // the opening time shown, "yyyy-mm-dd hh:mm"; its date is stored as 日期
    QString phone;        // 电话: the customer's telephone
    QString customerName; // 姓名: the customer's name
    QString remark;       // 备注
    QString guests;       // 人数: how many guests, empty when not given
    QString dishes;       // 菜品费用: sum of the dish lines
    QString drinks;       // 酒水费用: sum of the drink lines
    QString others;       // 其他费用: sum of the other lines
    QString receivable;   // 应收: sum of all lines, before any discount
    QString received;     // 实收: the amount received
    QString credit;       // 挂账金额: the amount put on the customer's account
    QString storedDate;   // 日期 as stored, empty for a bill not stored yet
    QString leaveState;   // 退桌状态 as stored: "yes" once the party has left

    // The date the bill is stored under, "yyyy-mm-dd".
    QString billDate() const { return openedText.left(10); }

    bool operator==(const BillHeader&) const = default;
};

// The fields of a bill's head that a writer sets (staff type all but the table's name). Each is stored by
// itself, so one writer never puts back a value another writer has changed meanwhile.
enum class BillField {
    CustomerName = 1,
    Phone = 2,
    Remark = 4,
    Received = 8,
    Credit = 16,
    TableName = 32,
    Guests = 64
};
Q_DECLARE_FLAGS(BillFields, BillField)
Q_DECLARE_OPERATORS_FOR_FLAGS(BillFields)
