#include "common/TestHome.h"

#include "main/TableMap.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Settings.h"

#include <QTest>

namespace {
QString leaveState(Database& db, const QString& billId) {
    Statement query(db, "SELECT \"退桌状态\" FROM \"桌台\" WHERE \"id\" = ?");
    query.bind(1, billId);
    return query.next() ? query.text(0) : QStringLiteral("<no row>");
}
} // namespace

class TableMapTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tilesFlowByTheTwoWidthRule() {
        // 8 × 1515 + 2 × 1515 = 15150 is not below 14175: the tenth tile wraps.
        const QList<QPoint> flow = TableMap::FlowTiles(14175);
        QCOMPARE(flow.size(), 45);
        QCOMPARE(flow.at(8), QPoint(8 * 1515, 0));
        QCOMPARE(flow.at(9), QPoint(0, 1755));
        QCOMPARE(flow.at(17), QPoint(8 * 1515, 1755));
        QCOMPARE(flow.at(18), QPoint(0, 2 * 1755));
        // A narrow area still puts the first tile alone per row.
        const QList<QPoint> narrow = TableMap::FlowTiles(1000);
        QCOMPARE(narrow.at(1), QPoint(0, 1755));
    }

    void slotsAreOccupiedOnlyWithFourteenCharacters() {
        TestHome home;
        auto db = home.createDatabase();
        WriteSlot(*db, 3, QStringLiteral("20241212130725"));
        WriteSlot(*db, 4, QStringLiteral("junk"));
        SettingsStore settings(*db);
        TableMap map(*db, settings);
        map.refreshSlots();
        QVERIFY(map.isOccupied(3));
        QVERIFY(!map.isOccupied(4));
        QVERIFY(!map.isOccupied(0));
        QCOMPARE(map.tableCount(), 13);
    }

    void openingAFreeTableWritesNothing() {
        TestHome home;
        auto db = home.createDatabase();
        SettingsStore settings(*db);
        TableMap map(*db, settings);
        const QDateTime now(QDate(2024, 12, 12), QTime(13, 7, 25));
        const OpenedBill bill = map.openTable(2, now);
        QCOMPARE(bill.billId, QStringLiteral("20241212130725"));
        QCOMPARE(bill.openedText, QStringLiteral("2024-12-12 13:07"));
        QCOMPARE(bill.tableName, QStringLiteral("大厅003"));
        QVERIFY(bill.lines.isEmpty());
        QCOMPARE(map.OpenTableIndex, 2);
        QCOMPARE(map.OpenSlotValue, bill.billId);
        QVERIFY(!map.EditingHistory);
        Statement count(*db, "SELECT count(*) FROM \"桌台\"");
        QVERIFY(count.next());
        QCOMPARE(count.integer(0), 0);
        QCOMPARE(ReadSlots(*db, 3).at(2), QString());
    }

    void newBillIdsNeverRepeatAStoredOne() {
        TestHome home;
        auto db = home.createDatabase();
        db->exec("INSERT INTO \"桌台\" (\"id\") VALUES ('20241212130725')");
        SettingsStore settings(*db);
        TableMap map(*db, settings);
        map.SlotIds[5] = QStringLiteral("20241212130726");
        QCOMPARE(map.newBillId(QDateTime(QDate(2024, 12, 12), QTime(13, 7, 25))),
                 QStringLiteral("20241212130727"));
    }

    void settleFreesTheSelectedTable() {
        TestHome home;
        auto db = home.createDatabase();
        db->exec("INSERT INTO \"桌台\" (\"id\", \"退桌状态\") VALUES ('20241212130725', '')");
        WriteSlot(*db, 2, QStringLiteral("20241212130725"));
        SettingsStore settings(*db);
        TableMap map(*db, settings);
        map.refreshSlots();
        map.selectTile(2);
        map.settleAndFree(map.selectedTile());
        QCOMPARE(ReadSlots(*db, 3).at(2), QString());
        QCOMPARE(leaveState(*db, QStringLiteral("20241212130725")), QStringLiteral("yes"));
        QVERIFY(!map.isOccupied(2));
        // Settling a free table only rewrites its empty slot.
        map.settleAndFree(7);
        QCOMPARE(ReadSlots(*db, 8).at(7), QString());
    }
};

QTEST_GUILESS_MAIN(TableMapTest)
#include "test_table_map.moc"
