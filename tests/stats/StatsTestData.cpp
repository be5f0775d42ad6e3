#include "StatsTestData.h"

#include "store/Database.h"

void AddBill(Database& db, const QString& id, const QString& date, const BillMoney& money,
             const QString& leaveState) {
    Statement insert(
        db, "INSERT INTO \"桌台\" (\"id\", \"日期\", \"桌号\", \"退桌状态\", \"菜品费用\", \"酒水费用\", "
            "\"其他费用\", \"应收\", \"实收\", \"挂账金额\") VALUES (?, ?, '大厅001', ?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, id).bind(2, date).bind(3, leaveState);
    for (int i = 0; i < 6; ++i) {
        if (money[static_cast<size_t>(i)])
            insert.bind(4 + i, *money[static_cast<size_t>(i)]);
        else
            insert.bindNull(4 + i);
    }
    insert.run();
}

void AddLine(Database& db, const QString& date, const QString& name, const QString& category,
             const QString& quantity, const QString& unit, const QString& amount) {
    static int serial = 0;
    Statement insert(
        db, "INSERT INTO \"明细\" (\"id\", \"日期\", \"序号\", \"名称\", \"数量\", \"单位\", \"单价\", "
            "\"金额\", \"分类\", \"排序\") VALUES ('20240301120000', ?, ?, ?, ?, ?, '', ?, ?, '1000')");
    insert.bind(1, date).bind(2, QStringLiteral("240301120000%1").arg(++serial, 6, 10, QLatin1Char('0')));
    insert.bind(3, name).bind(4, quantity).bind(5, unit).bind(6, amount).bind(7, category);
    insert.run();
}
