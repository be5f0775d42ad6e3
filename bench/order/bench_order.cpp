// The counter's everyday actions: opening a table with 60 lines, adding a line (database write included), and
// computing the totals of 200 lines. Medians of 25 runs, on a fresh database in a temporary folder.
#include "app/Startup.h"
#include "main/TableMap.h"
#include "order/OrderSession.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
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
    SettingsStore settings(db);
    TableMap tables(db, settings);

    // Table 0 gets 60 lines; the time moves on by a second per line so every id is distinct.
    QDateTime clock(QDate(2024, 12, 12), QTime(12, 0, 0));
    {
        OrderSession session(db, tables);
        session.open(tables.openTable(0, clock));
        session.chooseCategory(QStringLiteral("菜品"));
        for (int i = 0; i < 60; ++i)
            session.addItem(i % session.menu().size(), clock = clock.addSecs(1));
        session.save();
    }
    const double open = MedianMs(25, [&] {
        OrderSession session(db, tables);
        session.open(tables.openTable(0, clock));
    });

    OrderSession adding(db, tables);
    adding.open(tables.openTable(1, clock));
    adding.chooseCategory(QStringLiteral("酒水"));
    const double add = MedianMs(25, [&] { adding.addItem(0, clock = clock.addSecs(1)); });

    OpenedBill big;
    big.billId = QStringLiteral("20241212120000");
    big.openedText = QStringLiteral("2024-12-12 12:00");
    for (int i = 0; i < 200; ++i)
        big.lines.append(OrderLine{QStringLiteral("菜品"), QStringLiteral("菜"), QStringLiteral("1.5"),
                                   QStringLiteral("份"), QStringLiteral("12.5"), QStringLiteral("18.75"),
                                   QString(), QString(), QString::number(i), QString::number(1000 + i),
                                   QString()});
    OrderSession totals(db, tables);
    totals.open(big);
    const double compute = MedianMs(25, [&] { totals.computeTotals(); });

    std::printf("open a table with 60 lines:      median %.3f ms\n", open);
    std::printf("add a line (database included):  median %.3f ms\n", add);
    std::printf("totals of 200 lines:             median %.3f ms\n", compute);
    return 0;
}
