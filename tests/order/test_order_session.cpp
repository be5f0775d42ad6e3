#include "common/TestHome.h"

#include "main/TableMap.h"
#include "order/OrderSession.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Settings.h"

#include <QTest>

namespace {

const QDateTime kNow(QDate(2024, 12, 12), QTime(13, 7, 25));

// A database, the table map and an ordering session opened on a free table.
struct Counter {
    TestHome home;
    std::unique_ptr<Database> db = home.createDatabase();
    SettingsStore settings{*db};
    TableMap tables{*db, settings};
    OrderSession session{*db, tables};

    explicit Counter(int table = 0) { session.open(tables.openTable(table, kNow)); }

    int add(const QString& category, const QString& itemName) {
        session.chooseCategory(category);
        for (int i = 0; i < session.menu().size(); ++i)
            if (session.menu().at(i).name == itemName)
                return session.addItem(i, kNow);
        qFatal("menu item missing");
    }

    QStringList column(const char* sql) {
        QStringList values;
        Statement query(*db, sql);
        while (query.next())
            values.append(query.text(0));
        return values;
    }

    QString billField(const char* column) {
        const QByteArray sql = QByteArray("SELECT \"") + column + "\" FROM \"桌台\" WHERE \"id\" = ?";
        Statement query(*db, sql.constData());
        query.bind(1, session.billId);
        return query.next() ? query.text(0) : QStringLiteral("<no row>");
    }

    QString slot(int index) { return ReadSlots(*db, index + 1).at(index); }
};

QStringList keysOf(const OrderSession& session) {
    QStringList keys;
    for (const OrderLine& line : session.lines())
        keys.append(line.sortKey);
    return keys;
}

} // namespace

class OrderSessionTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linesGroupByCategoryWithTheirKeys() {
        Counter counter;
        counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
        QCOMPARE(counter.session.lines().at(0).sortKey, QStringLiteral("2000"));
        QVERIFY(counter.session.lines().at(0).lineId.endsWith(QStringLiteral("000")));
        QCOMPARE(counter.session.lines().at(0).kitchenMark, QString());

        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.add(QStringLiteral("其他"), QStringLiteral("米饭"));
        counter.add(QStringLiteral("菜品"), QStringLiteral("麻婆豆腐"));
        QCOMPARE(keysOf(counter.session), (QStringList{"1001", "1003", "2000", "3002"}));
        QCOMPARE(counter.session.lines().at(0).kitchenMark, QStringLiteral("√"));
        QCOMPARE(counter.session.lines().at(0).toText().left(25),
                 QStringLiteral("菜品@宫保鸡丁@1@份@28@28@@√@2412"));
        QCOMPARE(counter.session.lines().at(0).lineId, QStringLiteral("241212130725001"));

        // Every line is in 明细 at once, in the same order when read back.
        QCOMPARE(counter.column("SELECT \"排序\" FROM \"明细\" ORDER BY CAST(\"排序\" AS INTEGER)"),
                 (QStringList{"1001", "1003", "2000", "3002"}));
        QCOMPARE(LoadOrderLines(*counter.db, counter.session.billId).size(), 4);
    }

    void anEqualKeyGoesBeforeTheExistingLine() {
        Counter counter;
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁")); // 1000
        counter.add(QStringLiteral("菜品"), QStringLiteral("鱼香肉丝")); // 1001
        counter.session.xz(0);
        counter.session.deleteSelected();                                // one line left: 1001
        counter.add(QStringLiteral("菜品"), QStringLiteral("麻婆豆腐")); // n = 1: 1001 again
        QCOMPARE(counter.session.lines().at(0).name, QStringLiteral("麻婆豆腐"));
        QCOMPARE(counter.session.lines().at(1).name, QStringLiteral("鱼香肉丝"));
        // Both added as the second line in the same second, yet their ids differ.
        QVERIFY(counter.session.lines().at(0).lineId != counter.session.lines().at(1).lineId);
        // Reading the bill back keeps that order.
        const QList<OrderLine> loaded = LoadOrderLines(*counter.db, counter.session.billId);
        QCOMPARE(loaded.at(0).name, QStringLiteral("麻婆豆腐"));
    }

    void editsReachTheLineRow() {
        Counter counter;
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.session.setPrice(0, QStringLiteral("12"));
        counter.session.setQuantity(0, QStringLiteral("0.5"));
        QCOMPARE(counter.session.lines().at(0).amount, QStringLiteral("6"));
        QCOMPARE(counter.column("SELECT \"数量\" || '|' || \"单价\" || '|' || \"金额\" FROM \"明细\""),
                 QStringList{QStringLiteral("0.5|12|6")});
        counter.session.setRemark(0, QStringLiteral("不要辣'; DROP TABLE 明细; --"));
        QCOMPARE(counter.column("SELECT \"备注\" FROM \"明细\""),
                 QStringList{QStringLiteral("不要辣'; DROP TABLE 明细; --")});

        counter.session.toggleServed(0);
        QCOMPARE(counter.column("SELECT \"上菜\" FROM \"明细\""), QStringList{QStringLiteral("√")});
        counter.session.toggleServed(0);
        QCOMPARE(counter.column("SELECT \"上菜\" FROM \"明细\""), QStringList{QString()});
        QCOMPARE(counter.session.SelectedRow, 0);

        // The kitchen mark is never stored.
        counter.session.toggleKitchenMark(0);
        QCOMPARE(counter.session.lines().at(0).kitchenMark, QString());
    }

    void overlongValuesAreRefusedAndNothingChanges() {
        Counter counter;
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        QVERIFY_THROWS_EXCEPTION(StoreError, counter.session.setQuantity(0, QStringLiteral("12345678901")));
        QCOMPARE(counter.session.lines().at(0).quantity, QStringLiteral("1"));
        QCOMPARE(counter.column("SELECT \"数量\" FROM \"明细\""), QStringList{QStringLiteral("1")});
        QCOMPARE(counter.session.receivable, QStringLiteral("28"));
    }

    void selectionPastTheLastLineKeepsTheOldRow() {
        Counter counter;
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        QVERIFY(counter.session.xz(0));
        QVERIFY(!counter.session.xz(5));
        QCOMPARE(counter.session.SelectedRow, 0);
        counter.session.SelectedRow = -1;
        counter.session.deleteSelected(); // nothing selected: nothing happens
        QCOMPARE(counter.session.lines().size(), 1);
    }

    void totalsAndDiscount() {
        Counter counter;
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
        QCOMPARE(counter.session.dishes, QStringLiteral("56"));
        QCOMPARE(counter.session.drinks, QStringLiteral("5"));
        QCOMPARE(counter.session.others, QStringLiteral("0"));
        QCOMPARE(counter.session.receivable, QStringLiteral("61"));

        counter.session.applyDiscount(QStringLiteral("0.85"));
        QCOMPARE(counter.session.received, QStringLiteral("52"));
        counter.session.applyDiscount(QString());
        QCOMPARE(counter.session.received, QStringLiteral("61"));
        counter.session.applyDiscount(QStringLiteral("0"));
        QCOMPARE(counter.session.received, QStringLiteral("61"));
    }

    void halfAmountsRoundOnlyThroughTheDiscountBox() {
        Counter counter;
        counter.add(QStringLiteral("其他"), QStringLiteral("米饭"));
        counter.session.setPrice(0, QStringLiteral("12.5"));
        QCOMPARE(counter.session.receivable, QStringLiteral("12.5"));
        counter.session.applyDiscount(QString());
        QCOMPARE(counter.session.received, QStringLiteral("13"));
        counter.session.fillReceived();
        QCOMPARE(counter.session.received, QStringLiteral("12.5"));
        counter.session.fillCredit();
        QCOMPARE(counter.session.credit, QStringLiteral("12.5"));
    }

    void unknownCategoryCountsNowhere() {
        Counter counter;
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        OpenedBill bill;
        bill.billId = counter.session.billId;
        bill.openedText = counter.session.openedText;
        bill.lines = counter.session.lines();
        bill.lines[0].category = QStringLiteral("外卖");
        counter.session.open(bill);
        QCOMPARE(counter.session.receivable, QStringLiteral("0"));
    }

    void savingOccupiesAndCheckoutFrees() {
        Counter counter(2);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.session.credit = QStringLiteral("30");
        QCOMPARE(counter.session.save(), OrderSession::SaveResult::Saved);
        QCOMPARE(counter.slot(2), counter.session.billId);
        QCOMPARE(counter.billField("退桌状态"), QString());
        QCOMPARE(counter.billField("挂账状态"), QStringLiteral("◆"));
        QCOMPARE(counter.billField("应收"), QStringLiteral("28"));
        QCOMPARE(counter.billField("日期"), QStringLiteral("2024-12-12"));
        QCOMPARE(counter.billField("桌号"), QStringLiteral("大厅003"));
        QCOMPARE(counter.billField("结账状态"), QString());
        QCOMPARE(counter.billField("折扣"), QString());
        QVERIFY(counter.tables.isOccupied(2));

        counter.session.credit = QStringLiteral("0");
        counter.session.checkout();
        counter.session.save();
        QCOMPARE(counter.slot(2), QString());
        QCOMPARE(counter.billField("退桌状态"), QStringLiteral("yes"));
        QCOMPARE(counter.billField("挂账状态"), QString());
        QVERIFY(!counter.tables.isOccupied(2));
    }

    void everyLineChangeIsAlreadyStoredWithItsBill() {
        // Nothing waits for 保存: after the first line the bill row and the slot are there.
        Counter counter(4);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        QCOMPARE(counter.slot(4), counter.session.billId);
        QCOMPARE(counter.billField("应收"), QStringLiteral("28"));
        counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
        QCOMPARE(counter.billField("应收"), QStringLiteral("33"));
        counter.session.xz(1);
        counter.session.deleteSelected();
        QCOMPARE(counter.billField("应收"), QStringLiteral("28"));
    }

    void zeroReceivableSavesNothing() {
        Counter counter(1);
        counter.add(QStringLiteral("其他"), QStringLiteral("米饭"));
        counter.session.setPrice(0, QStringLiteral("0"));
        QCOMPARE(counter.session.save(), OrderSession::SaveResult::NothingToSave);
        QCOMPARE(counter.billField("id"), QStringLiteral("<no row>"));
        QCOMPARE(counter.slot(1), QString());
        // Checking out such a table leaves it as it was.
        counter.session.checkout();
        counter.session.save();
        QCOMPARE(counter.billField("id"), QStringLiteral("<no row>"));
    }

    void negativeReceivableWritesTheBillButNotTheSlot() {
        Counter counter(1);
        counter.add(QStringLiteral("其他"), QStringLiteral("米饭"));
        counter.session.setPrice(0, QStringLiteral("-5"));
        counter.session.save();
        QCOMPARE(counter.billField("应收"), QStringLiteral("-5"));
        QCOMPARE(counter.slot(1), QString());
    }

    void aBillFromTheHistoryKeepsItsStateAndTheSlots() {
        Counter counter(3);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.session.checkout();
        counter.session.save();
        const QString id = counter.session.billId;

        // Reopened from the history list and corrected.
        counter.tables.EditingHistory = true;
        counter.tables.OpenSlotValue = id;
        OpenedBill bill;
        LoadBillRow(*counter.db, id, bill);
        bill.billId = id;
        bill.openedText = QStringLiteral("2024-12-12 00:00");
        bill.lines = LoadOrderLines(*counter.db, id);
        counter.session.open(bill);
        counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
        counter.session.save();
        QCOMPARE(counter.billField("退桌状态"), QStringLiteral("yes"));
        QCOMPARE(counter.billField("应收"), QStringLiteral("33"));
        QCOMPARE(ReadSlots(*counter.db, 13), QStringList(13, QString()));
    }

    void searchTakesTheTextLiterally() {
        Counter counter;
        counter.session.chooseCategory(QStringLiteral("菜品"));
        counter.session.search(QStringLiteral("GBJD"));
        QCOMPARE(counter.session.menu().size(), 1);
        counter.session.search(QStringLiteral("保鸡"));
        QCOMPARE(counter.session.menu().size(), 1);
        counter.session.search(QStringLiteral("'"));
        QCOMPARE(counter.session.menu().size(), 0);
        counter.session.search(QStringLiteral("%"));
        QCOMPARE(counter.session.menu().size(), 0);
        counter.session.search(QStringLiteral("_"));
        QCOMPARE(counter.session.menu().size(), 0);
        counter.session.search(QString());
        QCOMPARE(counter.session.menu().size(), 4);
        QCOMPARE(counter.session.addItem(-1, kNow), -1); // nothing chosen: nothing added
        QVERIFY(counter.session.lines().isEmpty());
    }

    void bracketsComeBackFromBraces() {
        Counter counter;
        counter.db->exec("UPDATE \"菜单\" SET \"名称\" = '{特价}鱼' WHERE \"名称\" = '清蒸鲈鱼'");
        counter.add(QStringLiteral("菜品"), QStringLiteral("[特价]鱼"));
        QCOMPARE(counter.session.menu().at(3).displayText(), QStringLiteral("[特价]鱼[58元/条]"));
        QCOMPARE(counter.column("SELECT \"名称\" FROM \"明细\""), QStringList{QStringLiteral("[特价]鱼")});
    }

    void reloadPicksUpLinesAddedElsewhere() {
        Counter counter(0);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.session.toggleKitchenMark(0); // cleared at the counter
        {
            Statement add(*counter.db,
                          "INSERT INTO \"明细\" (\"id\", \"日期\", \"序号\", \"名称\", \"数量\", \"单位\", "
                          "\"单价\", \"金额\", \"分类\", \"排序\", \"备注\", \"上菜\") VALUES "
                          "(?, '2024-12-12', '241212130799001', '可乐', '2', '瓶', '5', '10', '酒水', "
                          "'2001', '', '')");
            add.bind(1, counter.session.billId).run();
        }
        counter.session.reloadLines();
        QCOMPARE(counter.session.lines().size(), 2);
        QCOMPARE(counter.session.lines().at(0).kitchenMark, QString());
        QCOMPARE(counter.session.receivable, QStringLiteral("38"));
    }

    void aBillAPhoneOpenedOnTheSameTableIsNeverOverwritten() {
        Counter counter(6); // the counter opens the free table: its new bill is not stored yet
        WriteSlot(*counter.db, 6, QStringLiteral("20241212130000")); // a phone's bill arrives meanwhile
        QVERIFY_THROWS_EXCEPTION(StoreError, counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁")));
        QCOMPARE(counter.slot(6), QStringLiteral("20241212130000"));
        QCOMPARE(counter.billField("id"), QStringLiteral("<no row>"));
        QVERIFY(counter.session.lines().isEmpty());
        QVERIFY(counter.column("SELECT \"序号\" FROM \"明细\"").isEmpty());
    }

    void aFullDiskKeepsWhatWasStoredAndSaysSo() {
        Counter counter(0);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        Statement pages(*counter.db, "PRAGMA page_count");
        QVERIFY(pages.next());
        const QByteArray limit = "PRAGMA max_page_count = " + QByteArray::number(pages.integer(0)) + ";";
        counter.db->exec(limit.constData());
        bool refused = false;
        for (int i = 0; i < 200 && !refused; ++i) {
            try {
                counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
            } catch (const StoreError& error) {
                refused = true;
                QVERIFY(!error.text().isEmpty());
            }
        }
        QVERIFY(refused);
        // What the window shows is exactly what is stored, and the bill row agrees with its lines.
        QStringList shown;
        for (const OrderLine& line : counter.session.lines())
            shown.append(line.lineId);
        QStringList stored;
        for (const OrderLine& line : LoadOrderLines(*counter.db, counter.session.billId))
            stored.append(line.lineId);
        QCOMPARE(shown, stored);
        QVERIFY(shown.size() >= 2);
        QCOMPARE(counter.billField("应收"), counter.session.receivable);
        counter.db->exec("PRAGMA max_page_count = 1073741823;");
        counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
        QCOMPARE(counter.billField("应收"), counter.session.receivable);
    }

    void theCounterNeverWritesStaleTotalsOverAPhoneOrder() {
        Counter counter(0);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        // A phone adds a drink to the same bill while the window is open.
        Statement add(*counter.db,
                      "INSERT INTO \"明细\" (\"id\", \"日期\", \"序号\", \"名称\", \"数量\", \"单位\", "
                      "\"单价\", \"金额\", \"分类\", \"排序\", \"备注\", \"上菜\") VALUES "
                      "(?, '2024-12-12', '241212130799001', '可乐', '1', '瓶', '5', '5', '酒水', "
                      "'2001', '', '')");
        add.bind(1, counter.session.billId).run();
        counter.session.save();
        QCOMPARE(counter.billField("应收"), QStringLiteral("33"));
        QCOMPARE(counter.billField("酒水费用"), QStringLiteral("5"));
        QCOMPARE(counter.session.lines().size(), 2);
    }
};

QTEST_GUILESS_MAIN(OrderSessionTest)
#include "test_order_session.moc"
