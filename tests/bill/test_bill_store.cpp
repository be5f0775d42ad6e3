#include "common/TestHome.h"

#include "bill/BillStore.h"
#include "store/Database.h"
#include "store/Schema.h"
#include "store/Settings.h"

#include <QTest>

namespace {

// "yyyy-mm-dd" of a bill id.
QString BillIdDate(const QString& billId) {
    return billId.left(4) + QLatin1Char('-') + billId.mid(4, 2) + QLatin1Char('-') + billId.mid(6, 2);
}

OrderLine dishLine(const QString& lineId, const QString& sortKey,
                   const QString& name = QStringLiteral("宫保鸡丁")) {
    return OrderLine{QStringLiteral("菜品"),
                     name,
                     QStringLiteral("2"),
                     QStringLiteral("份"),
                     QStringLiteral("28"),
                     QStringLiteral("56"),
                     QString(),
                     QString(),
                     lineId,
                     sortKey,
                     QString()};
}

BillHeader header(const QString& billId, const QString& receivable = QStringLiteral("56")) {
    BillHeader bill;
    bill.billId = billId;
    bill.tableName = QStringLiteral("大厅001");
    bill.openedText = BillIdDate(billId) + QStringLiteral(" 12:00");
    bill.customerName = QStringLiteral("张三");
    bill.dishes = receivable;
    bill.drinks = QStringLiteral("0");
    bill.others = QStringLiteral("0");
    bill.receivable = receivable;
    bill.received = receivable;
    bill.credit = QStringLiteral("30");
    bill.guests = QStringLiteral("8");
    return bill;
}

QString field(Database& db, const char* column, const QString& billId) {
    const QByteArray sql = QByteArray("SELECT \"") + column + "\" FROM \"桌台\" WHERE \"id\" = ?";
    Statement query(db, sql.constData());
    query.bind(1, billId);
    return query.next() ? query.text(0) : QStringLiteral("<no row>");
}

qint64 count(Database& db, const char* sql) {
    Statement query(db, sql);
    return query.next() ? query.integer(0) : -1;
}

} // namespace

class BillStoreTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aBillComesBackAsItWasWritten() {
        TestHome home;
        auto db = home.createDatabase();
        BillStore store(*db);
        const QString id = QStringLiteral("20241212120000");
        {
            Transaction step(*db);
            store.writeHeader(header(id), true);
            store.addLine(id, QStringLiteral("2024-12-12"),
                          dishLine(QStringLiteral("241212120000000"), QStringLiteral("1000"),
                                   QStringLiteral("[特价]鱼")));
            store.addLine(id, QStringLiteral("2024-12-12"),
                          dishLine(QStringLiteral("241212120001001"), QStringLiteral("1001")));
            // A line added later with an equal key (possible after a deletion) is listed before the other.
            store.addLine(id, QStringLiteral("2024-12-12"),
                          dishLine(QStringLiteral("241212120002001"), QStringLiteral("1001"),
                                   QStringLiteral("麻婆豆腐")));
            step.commit();
        }
        const std::optional<BillHeader> stored = store.header(id);
        QVERIFY(stored);
        QCOMPARE(stored->customerName, QStringLiteral("张三"));
        QCOMPARE(stored->guests, QStringLiteral("8"));
        QCOMPARE(stored->receivable, QStringLiteral("56"));
        QCOMPARE(stored->storedDate.left(10), QStringLiteral("2024-12-12"));
        QCOMPARE(field(*db, "挂账状态", id), QStringLiteral("◆"));
        const QList<OrderLine> lines = store.lines(id);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(0).name, QStringLiteral("[特价]鱼"));
        QCOMPARE(lines.at(1).name, QStringLiteral("麻婆豆腐"));
        QCOMPARE(lines.at(2).lineId, QStringLiteral("241212120001001"));
        QVERIFY(!store.header(QStringLiteral("20241212120001")));
        QVERIFY(store.lines(QString()).isEmpty());
    }

    void writingTheHeaderLeavesTheLeaveStateAndRefusesOverlongFieldsWhole() {
        TestHome home;
        auto db = home.createDatabase();
        BillStore store(*db);
        const QString id = QStringLiteral("20241212120000");
        store.writeHeader(header(id), true);
        store.setLeaveState(id, QStringLiteral("yes"));
        BillHeader changed = header(id, QStringLiteral("80"));
        changed.credit = QStringLiteral("0");
        store.writeHeader(changed, false);
        QCOMPARE(field(*db, "退桌状态", id), QStringLiteral("yes"));
        QCOMPARE(field(*db, "应收", id), QStringLiteral("80"));
        QCOMPARE(field(*db, "挂账状态", id), QString());

        BillHeader tooLong = header(QStringLiteral("20241212120100"));
        tooLong.customerName = QString(51, QChar(u'张'));
        QVERIFY_THROWS_EXCEPTION(StoreError, store.writeHeader(tooLong, true));
        QCOMPARE(field(*db, "id", tooLong.billId), QStringLiteral("<no row>"));
        OrderLine line = dishLine(QStringLiteral("241212120100000"), QStringLiteral("1000"));
        line.remark = QString(201, QLatin1Char('x'));
        QVERIFY_THROWS_EXCEPTION(StoreError, store.addLine(id, QStringLiteral("2024-12-12"), line));
        QCOMPARE(store.lines(id).size(), 0);
    }

    void lineChangesReachOnlyTheirOwnLine() {
        TestHome home;
        auto db = home.createDatabase();
        BillStore store(*db);
        const QString first = QStringLiteral("20241212120000");
        const QString second = QStringLiteral("20241212120100");
        store.addLine(first, QStringLiteral("2024-12-12"),
                      dishLine(QStringLiteral("1"), QStringLiteral("1000")));
        store.addLine(second, QStringLiteral("2024-12-12"),
                      dishLine(QStringLiteral("2"), QStringLiteral("1000")));
        OrderLine changed = dishLine(QStringLiteral("1"), QStringLiteral("1000"));
        changed.quantity = QStringLiteral("3");
        changed.remark = QStringLiteral("少辣");
        changed.served = QStringLiteral("√");
        // The id of another bill never matches: a line is changed only within its bill.
        store.changeLine(second, changed);
        QCOMPARE(store.lines(first).at(0).quantity, QStringLiteral("2"));
        store.changeLine(first, changed);
        QCOMPARE(store.lines(first).at(0).quantity, QStringLiteral("3"));
        QCOMPARE(store.lines(first).at(0).remark, QStringLiteral("少辣"));
        QCOMPARE(store.lines(first).at(0).served, QStringLiteral("√"));
        QCOMPARE(store.lines(second).at(0).quantity, QStringLiteral("2"));
        store.removeLine(second, QStringLiteral("1"));
        QCOMPARE(store.lines(first).size(), 1);
        store.removeLine(first, QStringLiteral("1"));
        QVERIFY(store.lines(first).isEmpty());
        QCOMPARE(store.lines(second).size(), 1);
    }

    void deletingABillTakesItsLinesAndNothingElse() {
        TestHome home;
        auto db = home.createDatabase();
        BillStore store(*db);
        const QString gone = QStringLiteral("20241212120000");
        const QString kept = QStringLiteral("20241212120100");
        for (const QString& id : {gone, kept}) {
            store.writeHeader(header(id), true);
            store.addLine(id, QStringLiteral("2024-12-12"),
                          dishLine(id + QStringLiteral("a"), QStringLiteral("1000")));
        }
        // Inside a step that fails afterwards the deletion is undone with it.
        try {
            Transaction outer(*db);
            store.deleteBill(gone);
            QVERIFY(!store.hasBill(gone));
            throw StoreError(QStringLiteral("interrupted"));
        } catch (const StoreError&) {
        }
        QVERIFY(store.hasBill(gone));
        QCOMPARE(store.lines(gone).size(), 1);

        store.deleteBill(gone);
        QVERIFY(!store.hasBill(gone));
        QVERIFY(store.lines(gone).isEmpty());
        QVERIFY(store.hasBill(kept));
        QCOMPARE(store.lines(kept).size(), 1);
    }

    void settlingFreesTheTableAndMarksItsBillLeft() {
        TestHome home;
        auto db = home.createDatabase();
        BillStore store(*db);
        const QString id = QStringLiteral("20241212120000");
        const QString other = QStringLiteral("20241212120100");
        store.writeHeader(header(id), true);
        store.writeHeader(header(other), true);
        store.writeSlot(2, id);
        store.writeSlot(3, other);
        store.settle(2);
        QCOMPARE(store.slots(4), (QStringList{"", "", "", other}));
        QCOMPARE(field(*db, "退桌状态", id), QStringLiteral("yes"));
        QCOMPARE(field(*db, "退桌状态", other), QString());
        QCOMPARE(store.closedBills({false, QString(), QDate(2024, 12, 12), QDate(2024, 12, 12)}).size(), 1);
    }

    void closedBillsFilterByNameAccountAndDays() {
        TestHome home;
        auto db = home.createDatabase();
        BillStore store(*db);
        const QStringList ids{QStringLiteral("20241210120000"), QStringLiteral("20241211120000"),
                              QStringLiteral("20241212120000")};
        for (const QString& id : ids) {
            BillHeader bill = header(id);
            bill.credit = id == ids.at(1) ? QStringLiteral("0") : QStringLiteral("30");
            bill.customerName = id == ids.at(2) ? QStringLiteral("李%四") : QStringLiteral("张三");
            store.writeHeader(bill, true);
            store.setLeaveState(id, QStringLiteral("yes"));
        }
        store.writeHeader(header(QStringLiteral("20241212130000")), true); // still at the table

        const QDate first(2024, 12, 10);
        const QDate last(2024, 12, 12);
        QCOMPARE(store.closedBills({false, QString(), last, first}).size(), 3); // either order of dates
        QCOMPARE(store.closedBills({false, QString(), first, last}).at(0).billId, ids.at(2));
        QCOMPARE(store.closedBills({true, QString(), first, last}).size(), 2);
        QCOMPARE(store.closedBills({false, QStringLiteral("%"), first, last}).size(), 1);
        QCOMPARE(store.closedBills({false, QStringLiteral("三"), first, first}).size(), 1);
        QCOMPARE(store.closedBills({false, QStringLiteral("三"), last, last}).size(), 0);
    }

    void historyPagesWalkTheIdsOnlyWhileEveryBillWasOpenedOnItsDays() {
        TestHome home;
        auto db = home.createDatabase();
        BillStore store(*db);
        QStringList ids; // newest first
        for (const QString& id : QStringList{"20241212200000", "20241212120000", "20241211180000",
                                             "20241211090000", "20241210120000"}) {
            BillHeader bill = header(id);
            bill.credit = ids.size() % 2 ? QStringLiteral("30") : QStringLiteral("0");
            store.writeHeader(bill, true);
            store.setLeaveState(id, QStringLiteral("yes"));
            ids.append(id);
        }
        const ClosedBillQuery days{false, QString(), QDate(2024, 12, 12), QDate(2024, 12, 10)};
        QCOMPARE(store.countClosedBills(days).bills, 5);
        QCOMPARE(store.countClosedBills(days).openedOutsideDates, 0);
        const auto idsOf = [](const QList<ClosedBill>& bills) {
            QStringList found;
            for (const ClosedBill& bill : bills)
                found.append(bill.billId);
            return found;
        };
        QStringList walked;
        for (QString before; walked.size() < 6;) {
            const QStringList page = idsOf(store.closedBills(days, {before, 2, true}));
            if (page.isEmpty())
                break;
            walked += page;
            before = page.constLast();
        }
        QCOMPARE(walked, ids);
        QCOMPARE(idsOf(store.closedBills({true, QString(), days.first, days.last}, {QString(), 0, true})),
                 (QStringList{ids.at(1), ids.at(3)}));
        QCOMPARE(idsOf(store.closedBills({false, QString(), QDate(2024, 12, 11), QDate(2024, 12, 11)},
                                         {ids.at(2), 0, true})),
                 QStringList{ids.at(3)});

        // A bill dated by hand away from its opening day is found by its date, and says the ids cannot be
        // walked for these days.
        Statement redate(*db, "UPDATE \"桌台\" SET \"日期\" = ? WHERE \"id\" = ?");
        redate.bind(1, QStringLiteral("2024-12-09")).bind(2, ids.at(3)).run();
        BillHeader early = header(QStringLiteral("20241130120000"));
        store.writeHeader(early, true);
        store.setLeaveState(early.billId, QStringLiteral("yes"));
        Statement(*db, "UPDATE \"桌台\" SET \"日期\" = ? WHERE \"id\" = ?")
            .bind(1, QStringLiteral("2024-12-11"))
            .bind(2, early.billId)
            .run();
        QCOMPARE(store.countClosedBills(days).bills, 5);
        QCOMPARE(store.countClosedBills(days).openedOutsideDates, 1);
        QCOMPARE(idsOf(store.closedBills(days)),
                 (QStringList{ids.at(0), ids.at(1), ids.at(2), ids.at(4), early.billId}));
    }

    // A file from before 人数: opening it adds the column, and its bills are saved and read with it.
    void anOlderFileGainsTheGuestsColumn() {
        TestHome home;
        auto db = home.createDatabase();
        BillStore store(*db);
        store.writeHeader(header(QStringLiteral("20241212120000")), true);
        {
            Transaction step(*db);
            db->exec("CREATE TABLE \"桌台旧\" AS SELECT \"id\", \"日期\", \"桌号\", \"应收\", \"挂账金额\", "
                     "\"挂账状态\", \"姓名\", \"电话\", \"备注\", \"菜品费用\", \"酒水费用\", \"其他费用\", "
                     "\"结账状态\", \"退桌状态\", \"实收\", \"折扣\", \"备用1\", \"备用2\" FROM \"桌台\"");
            db->exec("DROP TABLE \"桌台\"");
            db->exec("ALTER TABLE \"桌台旧\" RENAME TO \"桌台\"");
            db->setUserVersion(9);
            step.commit();
        }
        MigrateSchema(*db);
        BillHeader bill = header(QStringLiteral("20241212130000"));
        bill.guests = QStringLiteral("4");
        store.writeHeader(bill, true);
        QCOMPARE(store.header(bill.billId)->guests, QStringLiteral("4"));
        QVERIFY(store.header(QStringLiteral("20241212120000"))->guests.isEmpty());
    }

    void newIdsAvoidEveryStoredUse() {
        TestHome home;
        auto db = home.createDatabase();
        BillStore store(*db);
        const QDateTime now(QDate(2024, 12, 12), QTime(13, 7, 25));
        store.writeHeader(header(QStringLiteral("20241212130725")), true);
        // Lines left from a bill that was never stored, and a slot beyond the listed tables.
        store.addLine(QStringLiteral("20241212130726"), QStringLiteral("2024-12-12"),
                      dishLine(QStringLiteral("241212130725000"), QStringLiteral("1000")));
        store.writeSlot(50, QStringLiteral("20241212130727"));
        QCOMPARE(store.unusedBillId(now), QStringLiteral("20241212130728"));
        QCOMPARE(store.unusedLineId(now, 0), QStringLiteral("241212130725001"));
        QCOMPARE(count(*db, "SELECT count(*) FROM \"桌台\""), 1);
    }
};

QTEST_GUILESS_MAIN(BillStoreTest)
#include "test_bill_store.moc"
