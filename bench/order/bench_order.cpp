// The counter's everyday actions: opening a table with 60 lines, adding a line (database write included), and
// computing the totals of 200 lines. Medians of 25 runs, on a fresh database in a temporary folder.
#include "desk/OrderDesk.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"
#include "store/Schema.h"

#include "common/Median.h"
#include <QCoreApplication>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Database db(dir.path() + QStringLiteral("/bench.dat"), DatabasePassword());
    CreateSchema(db);

    // Table 0 gets 60 lines; the time moves on by a second per line so every id is distinct.
    QDateTime clock(QDate(2024, 12, 12), QTime(12, 0, 0));
    {
        OrderDesk desk(db);
        desk.openTable(0, clock);
        desk.menu.chooseCategory(QStringLiteral("菜品"));
        const QList<MenuRecord> dishes = desk.menu.records();
        for (int i = 0; i < 60; ++i)
            desk.bill.addItem(dishes.at(i % dishes.size()), clock = clock.addSecs(1));
        desk.bill.save();
    }
    const double open = MedianMs(25, [&] {
        OrderDesk desk(db);
        desk.openTable(0, clock);
    });

    OrderDesk adding(db);
    adding.openTable(1, clock);
    adding.menu.chooseCategory(QStringLiteral("酒水"));
    const MenuRecord drink = adding.menu.records().at(0);
    const double add = MedianMs(25, [&] { adding.bill.addItem(drink, clock = clock.addSecs(1)); });

    OrderDesk big(db);
    big.openTable(2, clock);
    big.bill.runAsOneStep([&] {
        for (int i = 0; i < 200; ++i)
            big.bill.addItem(MenuRecordFrom(QStringLiteral("菜品"), QStringLiteral("菜"),
                                            QStringLiteral("1.5"), QStringLiteral("份"),
                                            QStringLiteral("12.5"), QString()),
                             clock = clock.addSecs(1));
    });
    const double compute = MedianMs(25, [&] { big.bill.computeTotals(); });

    std::printf("open a table with 60 lines:      median %.3f ms\n", open);
    std::printf("add a line (database included):  median %.3f ms\n", add);
    std::printf("totals of 200 lines:             median %.3f ms\n", compute);
    return 0;
}
