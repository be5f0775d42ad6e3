// Works the order logic at random against one database, journaling each call that returned, until killed.
// Usage: cjcrash_driver DATABASE JOURNAL SEED
#include "crash_journal.h"

#include "desk/OrderDesk.h"
#include "store/Database.h"
#include "store/NumberText.h"
#include "store/ProgramDatabase.h"
#include "store/Schema.h"

#include <QCoreApplication>
#include <random>

namespace {

void journalBill(CrashJournal& journal, const OrderDesk& desk, int table) {
    // A bill with nothing to pay may have been taken back: no promise either way.
    const QString& receivable = desk.bill.header().receivable;
    journal.record(
        QStringLiteral("bill %1 %2")
            .arg(desk.bill.billId(), ReadNumber(receivable) != 0 ? receivable : QStringLiteral("?")));
    const QString slot = desk.tables.slotValue(table);
    journal.record(QStringLiteral("slot %1 %2").arg(table).arg(slot.isEmpty() ? QStringLiteral("-") : slot));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 2;
    Database db(QString::fromLocal8Bit(argv[1]), DatabasePassword());
    // With checkpoints off the main file stays as it was and every commit is in the log alone, so a copy
    // of both taken at any moment is what a power cut at that moment would leave.
    if (argc > 4 && QByteArray(argv[4]) == "nocheckpoint")
        db.exec("PRAGMA wal_autocheckpoint = 0;");
    CrashJournal journal(QString::fromLocal8Bit(argv[2]));
    journal.open();
    std::mt19937 random(static_cast<unsigned>(atoi(argv[3])));
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };

    const QStringList categories{QStringLiteral("菜品"), QStringLiteral("酒水"), QStringLiteral("其他")};
    // Each run takes its own stretch of time, so ids freed by one run are never handed out again by the next.
    QDateTime clock = QDateTime(QDate(2030, 1, 1), QTime(0, 0)).addSecs(qint64(atoi(argv[3])) * 200000);
    for (long step = 0;; ++step) {
        const int table = pick(6);
        OrderDesk desk(db);
        desk.openTable(table, clock = clock.addSecs(1));
        BillDocument& bill = desk.bill;
        MenuChoice& menu = desk.menu;
        for (int action = pick(6) + 1; action > 0; --action) {
            const int what = pick(10);
            const int target = pick(6);
            // What this call may touch, so a kill before its records are written is judged fairly.
            journal.record(QStringLiteral("begin %1 %2 %3").arg(table).arg(target).arg(bill.billId()));
            if (what < 5 || bill.lines().isEmpty()) {
                menu.chooseCategory(categories.at(pick(3)));
                const int at = bill.addItem(menu.records().at(pick(static_cast<int>(menu.records().size()))),
                                            clock = clock.addSecs(1));
                const OrderLine& line = bill.lines().at(at);
                journal.record(
                    QStringLiteral("line %1 %2 %3").arg(line.lineId, line.quantity, bill.billId()));
            } else if (what < 7) {
                const int row = pick(static_cast<int>(bill.lines().size()));
                const QString quantity = QString::number(pick(5) + 1);
                bill.setQuantity(row, quantity);
                journal.record(QStringLiteral("line %1 %2 %3")
                                   .arg(bill.lines().at(row).lineId, quantity, bill.billId()));
            } else if (what < 8) {
                const int row = pick(static_cast<int>(bill.lines().size()));
                const QString lineId = bill.lines().at(row).lineId;
                bill.selectLine(row);
                bill.deleteSelected();
                journal.record(QStringLiteral("gone %1").arg(lineId));
            } else if (what < 9) {
                bill.checkOut();
                bill.save();
                if (ReadNumber(bill.header().receivable) > 0)
                    journal.record(QStringLiteral("left %1").arg(bill.billId()));
                journalBill(journal, desk, table);
                journal.record(QStringLiteral("end"));
                break;
            } else {
                if (desk.tables.transfer(table, target) == TableMap::TransferResult::Moved) {
                    journal.record(QStringLiteral("slot %1 -").arg(table));
                    journal.record(
                        QStringLiteral("slot %1 %2").arg(target).arg(desk.tables.slotValue(target)));
                }
                journal.record(QStringLiteral("end"));
                break;
            }
            journalBill(journal, desk, table);
            journal.record(QStringLiteral("end"));
        }
    }
}
