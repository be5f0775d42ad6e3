#include "common/TestHome.h"

#include "bill/BillDocument.h"
#include "desk/TableMap.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Settings.h"

#include <QSignalSpy>
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

    void aTypedNameOrNumberFindsItsTable_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("found");
        QTest::newRow("whole name") << QStringLiteral("大厅1") << 0;
        QTest::newRow("start of a name, either case") << QStringLiteral("vip") << 4;
        QTest::newRow("a number is the table's, not a longer one's") << QStringLiteral("3") << 2;
        QTest::newRow("a longer number") << QStringLiteral("13") << 3;
        QTest::newRow("a number with leading zeros") << QStringLiteral("5") << 6;
        QTest::newRow("inside a name") << QStringLiteral("包") << 5;
        QTest::newRow("nothing like it") << QStringLiteral("9") << -1;
    }

    void aTypedNameOrNumberFindsItsTable() {
        QFETCH(QString, typed);
        QFETCH(int, found);
        const QStringList names{QStringLiteral("大厅1"),  QStringLiteral("大厅12"),
                                QStringLiteral("大厅3"),  QStringLiteral("大厅13"),
                                QStringLiteral("VIP2"),   QStringLiteral("二楼包间"),
                                QStringLiteral("二楼005")};
        QCOMPARE(TableMap::FindTyped(names, typed), found);
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
        BillDocument bill(*db);
        const QDateTime now(QDate(2024, 12, 12), QTime(13, 7, 25));
        bill.openTable(2, map.tableName(2), now);
        QCOMPARE(bill.billId(), QStringLiteral("20241212130725"));
        QCOMPARE(bill.header().openedText, QStringLiteral("2024-12-12 13:07"));
        QCOMPARE(bill.header().tableName, QStringLiteral("大厅003"));
        QVERIFY(bill.lines().isEmpty());
        QCOMPARE(bill.table(), 2);
        QVERIFY(!bill.isClosedBill());
        Statement count(*db, "SELECT count(*) FROM \"桌台\"");
        QVERIFY(count.next());
        QCOMPARE(count.integer(0), 0);
        QCOMPARE(ReadSlots(*db, 3).at(2), QString());
    }

    void newBillIdsNeverRepeatAStoredOne() {
        TestHome home;
        auto db = home.createDatabase();
        db->exec("INSERT INTO \"桌台\" (\"id\") VALUES ('20241212130725')");
        WriteSlot(*db, 5, QStringLiteral("20241212130726"));
        QCOMPARE(BillStore(*db).unusedBillId(QDateTime(QDate(2024, 12, 12), QTime(13, 7, 25))),
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
        map.settle(map.selectedTile());
        QCOMPARE(ReadSlots(*db, 3).at(2), QString());
        QCOMPARE(leaveState(*db, QStringLiteral("20241212130725")), QStringLiteral("yes"));
        QVERIFY(!map.isOccupied(2));
        // Settling a free table touches no other table and no bill.
        db->exec("INSERT INTO \"桌台\" (\"id\", \"退桌状态\") VALUES ('20241212130800', '')");
        WriteSlot(*db, 5, QStringLiteral("20241212130800"));
        map.refreshSlots();
        map.settle(7);
        QCOMPARE(ReadSlots(*db, 8).at(7), QString());
        QCOMPARE(ReadSlots(*db, 8).at(5), QStringLiteral("20241212130800"));
        QCOMPARE(leaveState(*db, QStringLiteral("20241212130800")), QString());
        QVERIFY(map.isOccupied(5));
    }

    void anOccupiedTileShowsItsBillAndHowLongItHasBeenOpen() {
        TestHome home;
        auto db = home.createDatabase();
        db->exec("INSERT INTO \"桌台\" (\"id\", \"应收\") VALUES ('20241212120000', '128')");
        WriteSlot(*db, 1, QStringLiteral("20241212120000"));
        WriteSlot(*db, 2, QStringLiteral("20241212100500")); // no row yet: nothing to pay
        SettingsStore settings(*db);
        TableMap map(*db, settings);
        QSignalSpy bills(&map, &TableMap::billsChanged);
        map.refreshSlots();
        QCOMPARE(bills.count(), 1);
        const QDateTime now(QDate(2024, 12, 12), QTime(12, 45, 59));
        QCOMPARE(map.tileStatus(1, now), QStringLiteral("¥128 · 45分"));
        QCOMPARE(map.tileStatus(2, now), QStringLiteral("¥0 · 2小时40分"));
        QCOMPARE(map.tileStatus(0, now), QString());
        // A phone's order changes the total: the next refresh tells the tiles, an unchanged one does not.
        db->exec("UPDATE \"桌台\" SET \"应收\" = '156' WHERE \"id\" = '20241212120000'");
        map.refreshSlotsIfChanged();
        QCOMPARE(bills.count(), 2);
        QCOMPARE(map.tileStatus(1, now), QStringLiteral("¥156 · 45分"));
        map.refreshSlotsIfChanged();
        QCOMPARE(bills.count(), 2);
    }

    void transferMovesTheBillOnlyToATableThatIsFreeAsStored() {
        TestHome home;
        auto db = home.createDatabase();
        const QString first = QStringLiteral("20241212120000");
        const QString second = QStringLiteral("20241212120100");
        WriteSlot(*db, 2, first);
        WriteSlot(*db, 5, second);
        SettingsStore settings(*db);
        TableMap map(*db, settings);
        map.refreshSlots();
        using Result = TableMap::TransferResult;

        QCOMPARE(map.transfer(2, 5), Result::TargetOccupied);
        QCOMPARE(map.transfer(2, 2), Result::TargetOccupied);
        QCOMPARE(map.transfer(3, 6), Result::SourceFree);
        // A phone occupied table 7 after the map last read the slots: the stored slot decides.
        WriteSlot(*db, 7, QStringLiteral("20241212120200"));
        QVERIFY(!map.isOccupied(7));
        QCOMPARE(map.transfer(2, 7), Result::TargetOccupied);
        QCOMPARE(ReadSlots(*db, 8), (QStringList{"", "", first, "", "", second, "", "20241212120200"}));

        QCOMPARE(map.transfer(2, 8), Result::Moved);
        QCOMPARE(ReadSlots(*db, 9).at(2), QString());
        QCOMPARE(ReadSlots(*db, 9).at(8), first);
        QVERIFY(!map.isOccupied(2));
        QVERIFY(map.isOccupied(8));
        QCOMPARE(map.selectedTile(), 8);
    }
};

QTEST_GUILESS_MAIN(TableMapTest)
#include "test_table_map.moc"
