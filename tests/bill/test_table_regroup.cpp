#include "common/TestHome.h"

#include "bill/BillStore.h"
#include "bill/KitchenLedger.h"
#include "bill/SalesTotals.h"
#include "bill/TableLease.h"
#include "bill/TableRegroup.h"
#include "store/ActionTrail.h"
#include "store/Database.h"
#include "store/Fen.h"

#include <QTest>

namespace {

const QDateTime kNow(QDate(2024, 12, 12), QTime(12, 30));

struct Line {
    QString id;
    QString category;
    QString name;
    QString quantity;
    QString price;
    QString addedBy;
};

// A counter with open bills written as the ordering window writes them.
struct Tables {
    TestHome home;
    std::unique_ptr<Database> db = home.createDatabase();
    BillStore store{*db};

    void open(int table, const QString& billId, const QList<Line>& lines) {
        Transaction step(*db);
        BillHeader header;
        header.billId = billId;
        header.tableName = QStringLiteral("大厅%1").arg(table + 1, 3, 10, QLatin1Char('0'));
        header.openedText = QStringLiteral("2024-12-12 11:00");
        header.customerName = QStringLiteral("张三");
        header.received = QStringLiteral("0");
        store.writeHeader(header, true);
        store.setLeaveState(billId, QString());
        int sort = 1000;
        QList<OrderLine> written;
        for (const Line& line : lines) {
            const QString amount =
                FenText(*ParseFen(line.price) * line.quantity.toLongLong()); // whole quantities here
            const OrderLine order{
                line.category, line.name, line.quantity, QStringLiteral("份"),    line.price, amount,
                QString(),     QString(), line.id,       QString::number(sort++), QString()};
            store.addLine(billId, QStringLiteral("2024-12-12"), order, line.addedBy,
                          QDateTime(QDate(2024, 12, 12), QTime(11, sort % 60)));
            written.append(order);
        }
        qint64 dishes = 0;
        qint64 drinks = 0;
        for (const OrderLine& line : written)
            (line.category == QStringLiteral("酒水") ? drinks : dishes) += StoredFen(line.amount);
        header.dishes = FenText(dishes);
        header.drinks = FenText(drinks);
        header.others = QStringLiteral("0");
        header.receivable = FenText(dishes + drinks);
        store.writeTotals(header);
        store.writeSlot(table, billId);
        step.commit();
    }

    void sendToKitchen(const QString& billId, const QString& lineId, const QString& quantity) {
        KitchenLedger(*db).record(billId, lineId, QStringLiteral("热菜"), QStringLiteral("job1"), 7, quantity,
                                  kNow.addSecs(-600));
    }

    qint64 receivableFen(const QString& billId) { return StoredFen(store.header(billId)->receivable); }

    QString lineColumn(const QString& lineId, const char* column) {
        const QByteArray sql = QByteArray("SELECT \"") + column + "\" FROM \"明细\" WHERE \"序号\" = ?";
        Statement query(*db, sql.constData());
        query.bind(1, lineId);
        return query.next() ? query.text(0) : QStringLiteral("<no line>");
    }

    qint64 count(const char* sql) {
        Statement query(*db, sql);
        return query.next() ? query.integer(0) : -1;
    }

    QList<TrailRow> trail(const QString& action) {
        TrailFilter filter;
        filter.action = action;
        return ActionTrail(*db).rows(filter);
    }

    // Everything a regrouping may touch, to compare before and after.
    struct Snapshot {
        QStringList slots;
        QList<std::optional<BillHeader>> headers;
        QList<QList<OrderLine>> lines;
        QList<QHash<QString, QString>> kitchen;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot snapshot(const QStringList& billIds) {
        Snapshot shot{store.slots(10), {}, {}, {}};
        for (const QString& id : billIds) {
            shot.headers.append(store.header(id));
            shot.lines.append(store.lines(id));
            shot.kitchen.append(KitchenLedger(*db).quantities(id));
        }
        return shot;
    }
};

const QString kBillA = QStringLiteral("20241212110000");
const QString kBillB = QStringLiteral("20241212110100");
const QString kBillC = QStringLiteral("20241212110200");

QString refusal(const std::function<void()>& step) {
    try {
        step();
    } catch (const StoreError& error) {
        return error.text();
    }
    return QStringLiteral("<not refused>");
}

} // namespace

class TableRegroupTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void splitMovesLinesAndPartsToTheFen() {
        Tables tables;
        tables.open(0, kBillA,
                    {{QStringLiteral("1"), QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"),
                      QStringLiteral("3"), QStringLiteral("25.01"), QStringLiteral("1001")},
                     {QStringLiteral("2"), QStringLiteral("酒水"), QStringLiteral("可乐"),
                      QStringLiteral("2"), QStringLiteral("3.5"), QStringLiteral("1002")},
                     {QStringLiteral("3"), QStringLiteral("菜品"), QStringLiteral("鱼"), QStringLiteral("1"),
                      QStringLiteral("25.01"), QStringLiteral("1003")}});
        tables.sendToKitchen(kBillA, QStringLiteral("1"), QStringLiteral("3"));
        tables.sendToKitchen(kBillA, QStringLiteral("3"), QStringLiteral("1"));
        const qint64 before = tables.receivableFen(kBillA);
        QCOMPARE(before, 10704);
        const qint64 jobsBefore = tables.count("SELECT count(*) FROM \"打印任务\"");

        TableRegroup regroup(*tables.db);
        regroup.setActor(QStringLiteral("1002"), QStringLiteral("1001"));
        // One of three (prices stay), a whole line, and half of an odd amount (25.01: 12.50 moves, 12.51
        // stays).
        const QString split = regroup.split(0, 5, QStringLiteral("大厅006"),
                                            {{QStringLiteral("1"), QStringLiteral("1")},
                                             {QStringLiteral("2"), QStringLiteral("2")},
                                             {QStringLiteral("3"), QStringLiteral("0.5")}},
                                            kNow);

        QCOMPARE(tables.store.slotOf(5), split);
        QCOMPARE(tables.store.slotOf(0), kBillA);
        QCOMPARE(tables.store.header(split)->tableName, QStringLiteral("大厅006"));
        QCOMPARE(tables.receivableFen(kBillA) + tables.receivableFen(split), before);
        QCOMPARE(tables.receivableFen(split), 2501 + 700 + 1250);
        QCOMPARE(tables.store.header(split)->drinks, QStringLiteral("7"));

        const QList<OrderLine> staying = tables.store.lines(kBillA);
        QCOMPARE(staying.size(), 2);
        QCOMPARE(staying.at(0).quantity, QStringLiteral("2"));
        QCOMPARE(staying.at(0).amount, QStringLiteral("50.02"));
        QCOMPARE(staying.at(1).quantity, QStringLiteral("0.5"));
        QCOMPARE(staying.at(1).amount, QStringLiteral("12.51"));
        const QList<OrderLine> moved = tables.store.lines(split);
        QCOMPARE(moved.size(), 3);
        QHash<QString, OrderLine> byName;
        for (const OrderLine& line : moved)
            byName.insert(line.name, line);
        QCOMPARE(byName.value(QStringLiteral("可乐")).lineId, QStringLiteral("2"));
        QCOMPARE(byName.value(QStringLiteral("宫保鸡丁")).amount, QStringLiteral("25.01"));
        QCOMPARE(byName.value(QStringLiteral("鱼")).amount, QStringLiteral("12.5"));

        // Who added each line, and when, stays with every part.
        const QString movedDish = byName.value(QStringLiteral("宫保鸡丁")).lineId;
        QCOMPARE(tables.lineColumn(movedDish, "点菜人"), QStringLiteral("1001"));
        QCOMPARE(tables.lineColumn(movedDish, "点菜时间"),
                 tables.lineColumn(QStringLiteral("1"), "点菜时间"));
        QCOMPARE(tables.lineColumn(QStringLiteral("2"), "点菜人"), QStringLiteral("1002"));
        QCOMPARE(tables.lineColumn(byName.value(QStringLiteral("鱼")).lineId, "点菜人"),
                 QStringLiteral("1003"));

        // The kitchen has as much of each part as before in all, and no ticket was written for it.
        const QHash<QString, QString> kitchenA = KitchenLedger(*tables.db).quantities(kBillA);
        const QHash<QString, QString> kitchenSplit = KitchenLedger(*tables.db).quantities(split);
        QCOMPARE(kitchenA.value(QStringLiteral("1")), QStringLiteral("2"));
        QCOMPARE(kitchenSplit.value(movedDish), QStringLiteral("1"));
        QCOMPARE(kitchenA.value(QStringLiteral("3")), QStringLiteral("0.5"));
        QCOMPARE(kitchenSplit.value(byName.value(QStringLiteral("鱼")).lineId), QStringLiteral("0.5"));
        QCOMPARE(tables.count("SELECT count(*) FROM \"打印任务\""), jobsBefore);

        const QList<TrailRow> trail = tables.trail(trail_action::kSplitBill);
        QCOMPARE(trail.size(), 1);
        QCOMPARE(trail.at(0).action.staff, QStringLiteral("1002"));
        QCOMPARE(trail.at(0).action.approver, QStringLiteral("1001"));
        QCOMPARE(trail.at(0).action.bill, kBillA);
        QVERIFY(trail.at(0).action.content.contains(QStringLiteral("大厅006")));
        QVERIFY(ActionTrail(*tables.db).verify().whole());
    }

    void mergeJoinsBillsAndUndoingPutsThemBackExactly() {
        Tables tables;
        tables.open(0, kBillA,
                    {{QStringLiteral("1"), QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"),
                      QStringLiteral("1"), QStringLiteral("25.01"), QStringLiteral("1001")}});
        tables.open(1, kBillB,
                    {{QStringLiteral("2"), QStringLiteral("酒水"), QStringLiteral("可乐"),
                      QStringLiteral("3"), QStringLiteral("3.33"), QStringLiteral("1002")},
                     {QStringLiteral("3"), QStringLiteral("菜品"), QStringLiteral("鱼"), QStringLiteral("1"),
                      QStringLiteral("88.8"), QStringLiteral("1002")}});
        tables.open(2, kBillC,
                    {{QStringLiteral("4"), QStringLiteral("菜品"), QStringLiteral("米饭"),
                      QStringLiteral("2"), QStringLiteral("0.01"), QStringLiteral("1003")}});
        tables.sendToKitchen(kBillB, QStringLiteral("3"), QStringLiteral("1"));
        const QStringList bills{kBillA, kBillB, kBillC};
        const Tables::Snapshot before = tables.snapshot(bills);
        const qint64 total =
            tables.receivableFen(kBillA) + tables.receivableFen(kBillB) + tables.receivableFen(kBillC);

        TableRegroup regroup(*tables.db);
        regroup.setActor(QStringLiteral("1001"));
        regroup.merge(0, {1, 2}, kNow);
        QCOMPARE(tables.store.slots(3), (QStringList{kBillA, QString(), QString()}));
        QCOMPARE(tables.store.lines(kBillA).size(), 4);
        QCOMPARE(tables.receivableFen(kBillA), total);
        QCOMPARE(tables.receivableFen(kBillB), 0);
        QCOMPARE(tables.lineColumn(QStringLiteral("2"), "点菜人"), QStringLiteral("1002"));
        QCOMPARE(KitchenLedger(*tables.db).quantities(kBillA).value(QStringLiteral("3")),
                 QStringLiteral("1"));
        QCOMPARE(regroup.mergedTables(kBillA), (QList<int>{1, 2}));
        // The day's turnover counts one table, and its amounts once.
        const BillTotals merged =
            SumBills(*tables.db, QStringLiteral("2024-12-12"), QStringLiteral("2024-12-12"));
        QCOMPARE(merged.bills, 1);
        QCOMPARE(qRound64(*merged.receivable * 100), total);
        QCOMPARE(tables.trail(trail_action::kMergeTables).size(), 1);
        // A merged bill is not a closed one.
        QVERIFY(tables.store.closedBills({false, {}, QDate(2024, 1, 1), QDate(2025, 1, 1)}).isEmpty());

        regroup.undoMerge(0);
        QCOMPARE(tables.snapshot(bills), before);
        QVERIFY(regroup.mergedTables(kBillA).isEmpty());
        const QList<TrailRow> undone = tables.trail(trail_action::kUndoMerge);
        QCOMPARE(undone.size(), 1);
        QCOMPARE(undone.at(0).action.staff, QStringLiteral("1001"));

        // Once the joined bill is paid there is nothing left to undo.
        regroup.merge(0, {1}, kNow);
        tables.store.settle(0);
        QVERIFY(!refusal([&] { regroup.undoMerge(0); }).startsWith(QStringLiteral("<")));
        QCOMPARE(tables.store.slotOf(1), QString());
        QCOMPARE(tables.store.lines(kBillB).size(), 0);
    }

    void aTableOpenOnAnotherCounterOrAStaleChoiceChangesNothing() {
        Tables tables;
        tables.open(0, kBillA,
                    {{QStringLiteral("1"), QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"),
                      QStringLiteral("3"), QStringLiteral("25.01"), QStringLiteral("1001")},
                     {QStringLiteral("2"), QStringLiteral("酒水"), QStringLiteral("可乐"),
                      QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("1001")}});
        tables.open(1, kBillB,
                    {{QStringLiteral("3"), QStringLiteral("菜品"), QStringLiteral("鱼"), QStringLiteral("1"),
                      QStringLiteral("88.8"), QStringLiteral("1002")}});
        TableRegroup regroup(*tables.db);
        regroup.merge(0, {1}, kNow);
        const QStringList bills{kBillA, kBillB};
        const Tables::Snapshot before = tables.snapshot(bills);
        const qint64 trailBefore = tables.count("SELECT count(*) FROM \"操作记录\"");

        auto other = TestHome::openAsAnotherCounter(*tables.db);
        TableLease otherWindow(*other);
        const QList<SplitPart> one{{QStringLiteral("1"), QStringLiteral("1")}};
        for (const int claimed : {0, 5}) {
            QVERIFY(otherWindow.take(claimed));
            QCOMPARE(refusal([&] { regroup.split(0, 5, QStringLiteral("大厅006"), one, kNow); }),
                     BillStore::ClaimedTableMessage());
        }
        // The table a bill would go back to counts as much as the joined one.
        for (const int claimed : {0, 1}) {
            QVERIFY(otherWindow.take(claimed));
            QCOMPARE(refusal([&] { regroup.undoMerge(0); }), BillStore::ClaimedTableMessage());
        }
        QCOMPARE(tables.snapshot(bills), before);
        QVERIFY(otherWindow.take(1));
        tables.open(2, kBillC,
                    {{QStringLiteral("4"), QStringLiteral("菜品"), QStringLiteral("米饭"),
                      QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("1003")}});
        const qint64 trailWithMerges = tables.count("SELECT count(*) FROM \"操作记录\"");
        const Tables::Snapshot withC = tables.snapshot({kBillA, kBillB, kBillC});
        QCOMPARE(refusal([&] { regroup.merge(0, {2, 1}, kNow); }), BillStore::ClaimedTableMessage());
        QCOMPARE(refusal([&] { regroup.merge(1, {2}, kNow); }), BillStore::ClaimedTableMessage());
        otherWindow.release();

        // 实收 typed for the whole bill would fit neither part nor the joined bill.
        BillHeader paid;
        paid.billId = kBillC;
        paid.received = QStringLiteral("2");
        tables.store.writeFields(paid, BillField::Received);
        QVERIFY(refusal([&] { regroup.merge(0, {2}, kNow); }).contains(QStringLiteral("实收")));
        QVERIFY(refusal([&] { regroup.merge(2, {0}, kNow); }).contains(QStringLiteral("实收")));
        QVERIFY(refusal([&] {
                    regroup.split(2, 5, QStringLiteral("大厅006"),
                                  {{QStringLiteral("4"), QStringLiteral("0.5")}}, kNow);
                }).contains(QStringLiteral("实收")));
        paid.received = QStringLiteral("0");
        tables.store.writeFields(paid, BillField::Received);
        // Nor would 实收 typed for the joined bill fit the bills it goes back to.
        BillHeader joined = *tables.store.header(kBillA);
        const QString receivedBefore = joined.received;
        joined.received = QStringLiteral("100");
        tables.store.writeFields(joined, BillField::Received);
        QVERIFY(refusal([&] { regroup.undoMerge(0); }).contains(QStringLiteral("实收")));
        QCOMPARE(tables.store.lines(kBillA).size(), 3);
        joined.received = receivedBefore;
        tables.store.writeFields(joined, BillField::Received);

        // Choices that no longer fit the stored bills: more than the line has, every line, a taken table.
        QVERIFY(!refusal([&] {
                     regroup.split(0, 5, QStringLiteral("大厅006"),
                                   {{QStringLiteral("1"), QStringLiteral("4")}}, kNow);
                 }).startsWith(QLatin1Char('<')));
        QVERIFY(!refusal([&] {
                     regroup.split(0, 2, QStringLiteral("大厅003"),
                                   {{QStringLiteral("1"), QStringLiteral("1")}}, kNow);
                 }).startsWith(QLatin1Char('<')));
        QVERIFY(!refusal([&] {
                     regroup.split(2, 5, QStringLiteral("大厅006"),
                                   {{QStringLiteral("4"), QStringLiteral("1")}}, kNow);
                 }).startsWith(QLatin1Char('<')));
        QCOMPARE(tables.snapshot({kBillA, kBillB, kBillC}), withC);
        QCOMPARE(tables.count("SELECT count(*) FROM \"操作记录\""), trailWithMerges);
        QCOMPARE(trailWithMerges, trailBefore);
    }
};

QTEST_GUILESS_MAIN(TableRegroupTest)
#include "test_table_regroup.moc"
