#include "common/TestHome.h"

#include "bill/BillStore.h"
#include "bill/TableLease.h"
#include "desk/OrderDesk.h"
#include "store/Database.h"
#include "store/Settings.h"

#include <QSignalSpy>
#include <QTest>

namespace {

const QDateTime kNow(QDate(2024, 12, 12), QTime(13, 7, 25));

// A database, the table map and a bill opened on a free table.
struct Counter {
    TestHome home;
    std::unique_ptr<Database> db = home.createDatabase();
    OrderDesk desk{*db};
    TableMap& tables = desk.tables;
    BillDocument& bill = desk.bill;
    MenuChoice& menu = desk.menu;

    explicit Counter(int table = 0) { desk.openTable(table, kNow); }

    int add(const QString& category, const QString& itemName) {
        menu.chooseCategory(category);
        for (int i = 0; i < menu.records().size(); ++i)
            if (menu.records().at(i).name == itemName)
                return bill.addItem(menu.records().at(i), kNow);
        qFatal("menu item missing");
    }

    QList<OrderLine> storedLines() { return BillStore(*db).lines(bill.billId()); }

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
        query.bind(1, bill.billId());
        return query.next() ? query.text(0) : QStringLiteral("<no row>");
    }

    QString slot(int index) { return ReadSlots(*db, index + 1).at(index); }
};

// A phone ordering through the LAN server, on a connection of its own.
struct Phone {
    std::unique_ptr<Database> db;
    OrderDesk desk;
    explicit Phone(const Database& counterDb) : db(TestHome::openAsPhonePages(counterDb)), desk(*db) {}

    // Orders a quantity of one item for a table as savemenu.asp does: one step.
    void order(int table, const QString& category, const QString& itemName, const QString& quantity) {
        desk.openTable(table, kNow);
        desk.menu.chooseCategory(category);
        for (const MenuRecord& record : desk.menu.records())
            if (record.name == itemName)
                return desk.bill.runAsOneStep([&] {
                    const int at = desk.bill.addItem(record, kNow);
                    desk.bill.setQuantity(at, quantity);
                });
        qFatal("menu item missing");
    }
};

QString field(Database& db, const QString& billId, const char* column) {
    const QByteArray sql = QByteArray("SELECT \"") + column + "\" FROM \"桌台\" WHERE \"id\" = ?";
    Statement query(db, sql.constData());
    query.bind(1, billId);
    return query.next() ? query.text(0) : QStringLiteral("<no row>");
}

QStringList keysOf(const BillDocument& bill) {
    QStringList keys;
    for (const OrderLine& line : bill.lines())
        keys.append(line.sortKey);
    return keys;
}

} // namespace

class BillDocumentTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linesGroupByCategoryWithTheirKeys() {
        Counter counter;
        counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
        QCOMPARE(counter.bill.lines().at(0).sortKey, QStringLiteral("2000"));
        QVERIFY(counter.bill.lines().at(0).lineId.endsWith(QStringLiteral("000")));
        QCOMPARE(counter.bill.lines().at(0).kitchenMark, QString());

        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.add(QStringLiteral("其他"), QStringLiteral("米饭"));
        counter.add(QStringLiteral("菜品"), QStringLiteral("麻婆豆腐"));
        QCOMPARE(keysOf(counter.bill), (QStringList{"1001", "1003", "2000", "3002"}));
        QCOMPARE(counter.bill.lines().at(0).kitchenMark, QStringLiteral("√"));
        QCOMPARE(counter.bill.lines().at(0).toText().left(25),
                 QStringLiteral("菜品@宫保鸡丁@1@份@28@28@@√@2412"));
        QCOMPARE(counter.bill.lines().at(0).lineId, QStringLiteral("241212130725001"));

        // Every line is in 明细 at once, in the same order when read back.
        QCOMPARE(counter.column("SELECT \"排序\" FROM \"明细\" ORDER BY CAST(\"排序\" AS INTEGER)"),
                 (QStringList{"1001", "1003", "2000", "3002"}));
        QCOMPARE(counter.storedLines().size(), 4);
    }

    void anEqualKeyGoesBeforeTheExistingLine() {
        Counter counter;
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁")); // 1000
        counter.add(QStringLiteral("菜品"), QStringLiteral("鱼香肉丝")); // 1001
        counter.bill.selectLine(0);
        counter.bill.deleteSelected();                                   // one line left: 1001
        counter.add(QStringLiteral("菜品"), QStringLiteral("麻婆豆腐")); // n = 1: 1001 again
        QCOMPARE(counter.bill.lines().at(0).name, QStringLiteral("麻婆豆腐"));
        QCOMPARE(counter.bill.lines().at(1).name, QStringLiteral("鱼香肉丝"));
        // Both added as the second line in the same second, yet their ids differ.
        QVERIFY(counter.bill.lines().at(0).lineId != counter.bill.lines().at(1).lineId);
        // Reading the bill back keeps that order.
        const QList<OrderLine> loaded = counter.storedLines();
        QCOMPARE(loaded.at(0).name, QStringLiteral("麻婆豆腐"));
    }

    void editsReachTheLineRow() {
        Counter counter;
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.bill.setPrice(0, QStringLiteral("12"));
        counter.bill.setQuantity(0, QStringLiteral("0.5"));
        QCOMPARE(counter.bill.lines().at(0).amount, QStringLiteral("6"));
        QCOMPARE(counter.column("SELECT \"数量\" || '|' || \"单价\" || '|' || \"金额\" FROM \"明细\""),
                 QStringList{QStringLiteral("0.5|12|6")});
        counter.bill.setRemark(0, QStringLiteral("不要辣'; DROP TABLE 明细; --"));
        QCOMPARE(counter.column("SELECT \"备注\" FROM \"明细\""),
                 QStringList{QStringLiteral("不要辣'; DROP TABLE 明细; --")});

        counter.bill.toggleServed(0);
        QCOMPARE(counter.column("SELECT \"上菜\" FROM \"明细\""), QStringList{QStringLiteral("√")});
        counter.bill.toggleServed(0);
        QCOMPARE(counter.column("SELECT \"上菜\" FROM \"明细\""), QStringList{QString()});
        QCOMPARE(counter.bill.selectedLine(), 0);

        // The kitchen mark is never stored.
        counter.bill.toggleKitchenMark(0);
        QCOMPARE(counter.bill.lines().at(0).kitchenMark, QString());
    }

    void overlongValuesAreRefusedAndNothingChanges() {
        Counter counter;
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        QVERIFY_THROWS_EXCEPTION(StoreError, counter.bill.setQuantity(0, QStringLiteral("12345678901")));
        QCOMPARE(counter.bill.lines().at(0).quantity, QStringLiteral("1"));
        QCOMPARE(counter.column("SELECT \"数量\" FROM \"明细\""), QStringList{QStringLiteral("1")});
        QCOMPARE(counter.bill.header().receivable, QStringLiteral("28"));
    }

    void selectionPastTheLastLineKeepsTheOldRow() {
        Counter counter;
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        QVERIFY(counter.bill.selectLine(0));
        QVERIFY(!counter.bill.selectLine(5));
        QCOMPARE(counter.bill.selectedLine(), 0);
        counter.bill.selectLine(-1);
        counter.bill.deleteSelected(); // nothing selected: nothing happens
        QCOMPARE(counter.bill.lines().size(), 1);
    }

    void totalsAndDiscount() {
        Counter counter;
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
        QCOMPARE(counter.bill.header().dishes, QStringLiteral("56"));
        QCOMPARE(counter.bill.header().drinks, QStringLiteral("5"));
        QCOMPARE(counter.bill.header().others, QStringLiteral("0"));
        QCOMPARE(counter.bill.header().receivable, QStringLiteral("61"));

        counter.bill.applyDiscount(QStringLiteral("0.85"));
        QCOMPARE(counter.bill.header().received, QStringLiteral("52"));
        counter.bill.applyDiscount(QString());
        QCOMPARE(counter.bill.header().received, QStringLiteral("61"));
        counter.bill.applyDiscount(QStringLiteral("0"));
        QCOMPARE(counter.bill.header().received, QStringLiteral("61"));
    }

    void halfAmountsRoundOnlyThroughTheDiscountBox() {
        Counter counter;
        counter.add(QStringLiteral("其他"), QStringLiteral("米饭"));
        counter.bill.setPrice(0, QStringLiteral("12.5"));
        QCOMPARE(counter.bill.header().receivable, QStringLiteral("12.5"));
        counter.bill.applyDiscount(QString());
        QCOMPARE(counter.bill.header().received, QStringLiteral("13"));
        counter.bill.fillReceived();
        QCOMPARE(counter.bill.header().received, QStringLiteral("12.5"));
        counter.bill.fillCredit();
        QCOMPARE(counter.bill.header().credit, QStringLiteral("12.5"));
    }

    void unknownCategoryCountsNowhere() {
        Counter counter;
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        // A line whose category was changed outside the program.
        counter.db->exec("UPDATE \"明细\" SET \"分类\" = '外卖'");
        counter.bill.followStored();
        QCOMPARE(counter.bill.header().receivable, QStringLiteral("0"));
    }

    void savingOccupiesAndCheckoutFrees() {
        Counter counter(2);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.bill.setCredit(QStringLiteral("30"));
        QCOMPARE(counter.bill.save(), BillDocument::SaveResult::Saved);
        QCOMPARE(counter.slot(2), counter.bill.billId());
        QCOMPARE(counter.billField("退桌状态"), QString());
        QCOMPARE(counter.billField("挂账状态"), QStringLiteral("◆"));
        QCOMPARE(counter.billField("应收"), QStringLiteral("28"));
        QCOMPARE(counter.billField("日期"), QStringLiteral("2024-12-12"));
        QCOMPARE(counter.billField("桌号"), QStringLiteral("大厅003"));
        QCOMPARE(counter.billField("结账状态"), QString());
        QCOMPARE(counter.billField("折扣"), QString());
        QVERIFY(counter.tables.isOccupied(2));

        counter.bill.setCredit(QStringLiteral("0"));
        counter.bill.checkOut();
        counter.bill.save();
        QCOMPARE(counter.slot(2), QString());
        QCOMPARE(counter.billField("退桌状态"), QStringLiteral("yes"));
        QCOMPARE(counter.billField("挂账状态"), QString());
        QVERIFY(!counter.tables.isOccupied(2));
    }

    void everyLineChangeIsAlreadyStoredWithItsBill() {
        // Nothing waits for 保存: after the first line the bill row and the slot are there.
        Counter counter(4);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        QCOMPARE(counter.slot(4), counter.bill.billId());
        QCOMPARE(counter.billField("应收"), QStringLiteral("28"));
        counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
        QCOMPARE(counter.billField("应收"), QStringLiteral("33"));
        counter.bill.selectLine(1);
        counter.bill.deleteSelected();
        QCOMPARE(counter.billField("应收"), QStringLiteral("28"));
    }

    void zeroReceivableSavesNothing() {
        Counter counter(1);
        counter.add(QStringLiteral("其他"), QStringLiteral("米饭"));
        counter.bill.setPrice(0, QStringLiteral("0"));
        QCOMPARE(counter.bill.save(), BillDocument::SaveResult::NothingToSave);
        QCOMPARE(counter.billField("id"), QStringLiteral("<no row>"));
        QCOMPARE(counter.slot(1), QString());
        // Checking out such a table leaves it as it was.
        counter.bill.checkOut();
        counter.bill.save();
        QCOMPARE(counter.billField("id"), QStringLiteral("<no row>"));
    }

    void negativeReceivableWritesTheBillButNotTheSlot() {
        Counter counter(1);
        counter.add(QStringLiteral("其他"), QStringLiteral("米饭"));
        counter.bill.setPrice(0, QStringLiteral("-5"));
        counter.bill.save();
        QCOMPARE(counter.billField("应收"), QStringLiteral("-5"));
        QCOMPARE(counter.slot(1), QString());
    }

    void aBillFromTheHistoryKeepsItsStateAndTheSlots() {
        Counter counter(3);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.bill.checkOut();
        counter.bill.save();
        const QString id = counter.bill.billId();

        // Reopened from the history list and corrected.
        counter.bill.openClosedBill(id);
        QCOMPARE(counter.bill.header().openedText, QStringLiteral("2024-12-12 00:00"));
        counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
        counter.bill.save();
        QCOMPARE(counter.billField("退桌状态"), QStringLiteral("yes"));
        QCOMPARE(counter.billField("应收"), QStringLiteral("33"));
        QCOMPARE(ReadSlots(*counter.db, 13), QStringList(13, QString()));
    }

    void searchTakesTheTextLiterally() {
        Counter counter;
        counter.menu.chooseCategory(QStringLiteral("菜品"));
        counter.menu.search(QStringLiteral("GBJD"));
        QCOMPARE(counter.menu.records().size(), 1);
        counter.menu.search(QStringLiteral("保鸡"));
        QCOMPARE(counter.menu.records().size(), 1);
        counter.menu.search(QStringLiteral("'"));
        QCOMPARE(counter.menu.records().size(), 0);
        counter.menu.search(QStringLiteral("%"));
        QCOMPARE(counter.menu.records().size(), 0);
        counter.menu.search(QStringLiteral("_"));
        QCOMPARE(counter.menu.records().size(), 0);
        counter.menu.search(QString());
        QCOMPARE(counter.menu.records().size(), 4);
        QVERIFY(counter.bill.lines().isEmpty());
    }

    void bracketsComeBackFromBraces() {
        Counter counter;
        counter.db->exec("UPDATE \"菜单\" SET \"名称\" = '{特价}鱼' WHERE \"名称\" = '清蒸鲈鱼'");
        counter.add(QStringLiteral("菜品"), QStringLiteral("[特价]鱼"));
        QCOMPARE(counter.menu.records().at(3).displayText(), QStringLiteral("[特价]鱼[58元/条]"));
        QCOMPARE(counter.column("SELECT \"名称\" FROM \"明细\""), QStringList{QStringLiteral("[特价]鱼")});
    }

    void reloadPicksUpLinesAddedElsewhere() {
        Counter counter(0);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.bill.toggleKitchenMark(0); // cleared at the counter
        {
            Statement add(*counter.db,
                          "INSERT INTO \"明细\" (\"id\", \"日期\", \"序号\", \"名称\", \"数量\", \"单位\", "
                          "\"单价\", \"金额\", \"分类\", \"排序\", \"备注\", \"上菜\") VALUES "
                          "(?, '2024-12-12', '241212130799001', '可乐', '2', '瓶', '5', '10', '酒水', "
                          "'2001', '', '')");
            add.bind(1, counter.bill.billId()).run();
        }
        counter.bill.followStored();
        QCOMPARE(counter.bill.lines().size(), 2);
        QCOMPARE(counter.bill.lines().at(0).kitchenMark, QString());
        QCOMPARE(counter.bill.header().receivable, QStringLiteral("38"));
    }

    void aBillAPhoneOpenedOnTheSameTableIsJoinedNeverOverwritten() {
        Counter counter(6); // the counter opens the free table: its new bill is not stored yet
        WriteSlot(*counter.db, 6, QStringLiteral("20241212130000")); // a phone's bill arrives meanwhile
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        QCOMPARE(counter.slot(6), QStringLiteral("20241212130000"));
        QCOMPARE(counter.bill.billId(), QStringLiteral("20241212130000"));
        QCOMPARE(counter.column("SELECT \"id\" FROM \"明细\""),
                 QStringList{QStringLiteral("20241212130000")});
        QCOMPARE(counter.billField("桌号"), QStringLiteral("大厅007"));
        QCOMPARE(counter.billField("应收"), QStringLiteral("28"));
    }

    void aFullDiskKeepsWhatWasStoredAndSaysSo() {
        if (TestsOnServer())
            QSKIP("the full disk is made with the file's page limit");
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
        for (const OrderLine& line : counter.bill.lines())
            shown.append(line.lineId);
        QStringList stored;
        for (const OrderLine& line : counter.storedLines())
            stored.append(line.lineId);
        QCOMPARE(shown, stored);
        QVERIFY(shown.size() >= 2);
        QCOMPARE(counter.billField("应收"), counter.bill.header().receivable);
        counter.db->exec("PRAGMA max_page_count = 1073741823;");
        counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
        QCOMPARE(counter.billField("应收"), counter.bill.header().receivable);
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
        add.bind(1, counter.bill.billId()).run();
        counter.bill.save();
        QCOMPARE(counter.billField("应收"), QStringLiteral("33"));
        QCOMPARE(counter.billField("酒水费用"), QStringLiteral("5"));
        QCOMPARE(counter.bill.lines().size(), 2);
    }

    void aBillWithNothingToPayIsNeverWritten() {
        // A closed bill whose lines add up to 0 (changed elsewhere), reopened and closed without an edit.
        Counter counter(3);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.bill.checkOut();
        counter.bill.save();
        const QString closed = counter.bill.billId();
        counter.db->exec("UPDATE \"明细\" SET \"单价\" = '0'");
        const QStringList rowBefore = counter.column("SELECT * FROM \"桌台\"");
        counter.bill.openClosedBill(closed);
        QCOMPARE(counter.bill.header().receivable, QStringLiteral("0"));
        counter.bill.save();
        QCOMPARE(counter.billField("应收"), QStringLiteral("28"));
        QCOMPARE(counter.column("SELECT * FROM \"桌台\""), rowBefore);

        // An occupied table on account whose every quantity is set to 0, then checked out: the checkout
        // stores nothing, and the table stays occupied.
        counter.desk.openTable(4, kNow);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.bill.setCredit(QStringLiteral("5"));
        counter.bill.save();
        const QString open = counter.bill.billId();
        counter.desk.openTable(4, kNow); // 保存 closed the window; the table is opened again
        // Its lines changed now, so the row follows them, down to 0.
        counter.bill.setQuantity(0, QStringLiteral("0"));
        QCOMPARE(counter.billField("应收"), QStringLiteral("0"));
        counter.bill.checkOut();
        QCOMPARE(counter.bill.save(), BillDocument::SaveResult::NothingToSave);
        QCOMPARE(counter.billField("应收"), QStringLiteral("0"));
        QCOMPARE(counter.billField("挂账金额"), QStringLiteral("5"));
        QCOMPARE(counter.billField("挂账状态"), QStringLiteral("◆"));
        QCOMPARE(counter.billField("退桌状态"), QString());
        QCOMPARE(counter.slot(4), open);
    }

    void checkoutAsksAboutWhatAPhoneAddedMeanwhile() {
        Counter counter(2); // 大厅003
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.add(QStringLiteral("菜品"), QStringLiteral("鱼香肉丝"));
        const QString billId = counter.bill.billId();
        Phone phone(*counter.db);
        phone.order(2, QStringLiteral("酒水"), QStringLiteral("青岛啤酒"), QStringLiteral("10"));
        QCOMPARE(phone.desk.bill.billId(), billId);

        // The counter had not looked: checkout settles nothing, and the window now shows the phone's line.
        counter.bill.checkOut();
        QCOMPARE(counter.bill.save(), BillDocument::SaveResult::ChangedElsewhere);
        QCOMPARE(counter.bill.lines().size(), 3);
        QCOMPARE(counter.bill.header().receivable, QStringLiteral("134"));
        QCOMPARE(counter.bill.changesElsewhereText(), QStringLiteral("手机刚加了 1 道菜，应收 134"));
        QCOMPARE(counter.slot(2), billId);
        QCOMPARE(counter.billField("退桌状态"), QString());
        // 实收 filled now is the whole bill; once confirmed, the books and the drawer agree.
        counter.bill.fillReceived();
        QCOMPARE(counter.bill.header().received, QStringLiteral("134"));
        QCOMPARE(counter.bill.save(), BillDocument::SaveResult::Saved);
        QCOMPARE(counter.billField("应收"), QStringLiteral("134"));
        QCOMPARE(counter.billField("实收"), QStringLiteral("134"));
        QCOMPARE(counter.billField("退桌状态"), QStringLiteral("yes"));
        QCOMPARE(counter.slot(2), QString());
    }

    void followingShowsOthersChangesAndKeepsWhatIsTyped() {
        Counter counter(2);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.bill.setCustomerName(QStringLiteral("张"));
        QSignalSpy elsewhere(&counter.bill, &BillDocument::linesChangedElsewhere);
        Phone phone(*counter.db);
        phone.order(2, QStringLiteral("酒水"), QStringLiteral("可乐"), QStringLiteral("2"));
        QVERIFY(counter.bill.followStored());
        QCOMPARE(counter.bill.header().receivable, QStringLiteral("38"));
        QCOMPARE(elsewhere.count(), 1);
        QCOMPARE(elsewhere.at(0).at(0).toStringList(), QStringList{phone.desk.bill.lines().at(1).lineId});
        QCOMPARE(counter.bill.header().customerName, QStringLiteral("张"));
        QVERIFY(!counter.bill.followStored()); // nothing new
        // A remark the phone changes stays when the counter changes the quantity of the same line.
        phone.desk.openTable(2, kNow);
        phone.desk.bill.setRemark(0, QStringLiteral("少辣"));
        counter.bill.setQuantity(0, QStringLiteral("2"));
        QCOMPARE(counter.storedLines().at(0).remark, QStringLiteral("少辣"));
        QCOMPARE(counter.billField("应收"), QStringLiteral("66"));
        QCOMPARE(counter.billField("姓名"), QStringLiteral("张"));
        // 人数 is stored only by the writer that typed it: the phone's next step keeps the counter's.
        counter.bill.setGuests(QStringLiteral("4"));
        counter.bill.storeFields();
        phone.desk.openTable(2, kNow);
        QCOMPARE(phone.desk.bill.header().guests, QStringLiteral("4"));
        counter.bill.setGuests(QStringLiteral("6"));
        counter.bill.storeFields();
        phone.desk.bill.setRemark(0, QStringLiteral("不要葱"));
        QCOMPARE(BillStore(*counter.db).header(counter.bill.billId())->guests, QStringLiteral("6"));
        QCOMPARE(phone.desk.bill.header().guests, QStringLiteral("6"));
        phone.desk.bill.setGuests(QStringLiteral("7"));
        phone.desk.bill.storeFields();
        QVERIFY(counter.bill.followStored());
        QCOMPARE(counter.bill.header().guests, QStringLiteral("7"));
    }

    void twoTablesOpenedInTheSameSecondNeverShareABill() {
        Counter counter(1); // 大厅002: its new bill's id is not reserved yet
        Phone phone(*counter.db);
        phone.desk.openTable(7, kNow); // 大厅008, the same second
        QCOMPARE(phone.desk.bill.billId(), counter.bill.billId());
        phone.order(7, QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"), QStringLiteral("1"));
        counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
        const QString counterBill = counter.slot(1);
        const QString phoneBill = counter.slot(7);
        QVERIFY(counterBill != phoneBill);
        QCOMPARE(counter.bill.billId(), counterBill);
        QCOMPARE(field(*counter.db, counterBill, "桌号"), QStringLiteral("大厅002"));
        QCOMPARE(field(*counter.db, phoneBill, "桌号"), QStringLiteral("大厅008"));
        QCOMPARE(field(*counter.db, counterBill, "应收"), QStringLiteral("5"));
        QCOMPARE(field(*counter.db, phoneBill, "应收"), QStringLiteral("28"));
    }

    void aTableAnotherCounterHasOpenIsWrittenByNoPath() {
        Counter counter(2);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        const QString billId = counter.bill.billId();
        counter.desk.openTable(3, kNow);
        counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
        counter.bill.checkOut();
        counter.bill.save();
        const QString closed = counter.bill.billId();
        counter.desk.openTable(2, kNow); // shown here, while the other counter takes the order
        auto other = TestHome::openAsAnotherCounter(*counter.db);
        TableLease otherWindow(*other);
        QVERIFY(otherWindow.take(2));

        const QString claimed = QStringLiteral("该桌正在其他收银台点餐");
        const auto refused = [&](const std::function<void()>& write) {
            try {
                write();
            } catch (const StoreError& error) {
                return error.text().contains(claimed);
            }
            return false;
        };
        counter.bill.setCustomerName(QString());
        QVERIFY(refused([&] { counter.bill.storeFields(); }));
        QVERIFY(refused([&] { counter.bill.save(); }));
        QVERIFY(refused([&] { counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁")); }));
        counter.bill.checkOut();
        QVERIFY(refused([&] { counter.bill.save(); }));
        QVERIFY(refused([&] { counter.tables.settle(2); }));
        QVERIFY(refused([&] { counter.tables.transfer(2, 9); }));
        QCOMPARE(counter.slot(2), billId);
        QCOMPARE(counter.slot(9), QString());
        QCOMPARE(counter.billField("退桌状态"), QString());
        QCOMPARE(counter.billField("应收"), QStringLiteral("28"));
        QCOMPARE(counter.storedLines().size(), 1);

        // A closed bill open on the other counter cannot be deleted from this one's history.
        QVERIFY(otherWindow.takeBill(closed));
        QVERIFY_THROWS_EXCEPTION(StoreError, BillStore(*counter.db).deleteBill(closed));
        QCOMPARE(field(*counter.db, closed, "应收"), QStringLiteral("5"));
        otherWindow.release();
        BillStore(*counter.db).deleteBill(closed);
        QCOMPARE(field(*counter.db, closed, "应收"), QStringLiteral("<no row>"));
    }

    void aBillSettledElsewhereIsNeverReopened() {
        Counter counter(2);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        auto other = TestHome::openAsAnotherCounter(*counter.db);
        BillStore(*other).settle(2);
        QSignalSpy gone(&counter.bill, &BillDocument::gone);
        QVERIFY_THROWS_EXCEPTION(StoreError, counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁")));
        QCOMPARE(gone.count(), 1);
        QVERIFY_THROWS_EXCEPTION(StoreError, counter.bill.save());
        QCOMPARE(counter.billField("退桌状态"), QStringLiteral("yes"));
        QCOMPARE(counter.billField("应收"), QStringLiteral("28"));
        QCOMPARE(counter.slot(2), QString());
        QCOMPARE(counter.storedLines().size(), 1);
        // Following finds it out without writing.
        counter.desk.openTable(4, kNow);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        BillStore(*other).settle(4);
        counter.bill.followStored();
        QVERIFY(!counter.bill.goneReason().isEmpty());
    }

    void aDiscountedAmountFollowsTheBillUntilTyped() {
        Counter counter(2);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        counter.bill.applyDiscount(QStringLiteral("0.85"));
        QCOMPARE(counter.bill.header().received, QStringLiteral("24"));
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        QCOMPARE(counter.bill.header().received, QStringLiteral("48"));
        QCOMPARE(counter.billField("实收"), QStringLiteral("48"));
        Phone phone(*counter.db);
        phone.order(2, QStringLiteral("酒水"), QStringLiteral("可乐"), QStringLiteral("1"));
        counter.bill.followStored();
        QCOMPARE(counter.bill.header().received, QStringLiteral("52"));
        // Typed by staff, it stays.
        counter.bill.setReceived(QStringLiteral("50"));
        counter.add(QStringLiteral("其他"), QStringLiteral("米饭"));
        QCOMPARE(counter.bill.header().received, QStringLiteral("50"));
        counter.bill.checkOut();
        QCOMPARE(counter.bill.save(), BillDocument::SaveResult::Saved);
        QCOMPARE(counter.billField("应收"), QStringLiteral("63"));
        QCOMPARE(counter.billField("实收"), QStringLiteral("50"));
    }

    void aClosedBillEmptiedOfItsLinesKeepsNoMoney() {
        Counter counter(3);
        counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
        counter.bill.checkOut();
        counter.bill.save();
        const QString closed = counter.bill.billId();
        counter.bill.openClosedBill(closed);
        counter.bill.selectLine(0);
        counter.bill.deleteSelected();
        counter.bill.save();
        QCOMPARE(counter.billField("应收"), QStringLiteral("0"));
        QCOMPARE(counter.billField("酒水费用"), QStringLiteral("0"));
        QCOMPARE(counter.billField("退桌状态"), QStringLiteral("yes"));
    }

    void aDamagedSlotIsAFreeTable() {
        TestHome home;
        std::unique_ptr<Database> db = home.createDatabase();
        WriteSlot(*db, 2, QStringLiteral("abc"));
        OrderDesk desk(*db);
        desk.openTable(2, kNow);
        QCOMPARE(desk.bill.billId(), QStringLiteral("20241212130725"));
        QVERIFY(desk.bill.lines().isEmpty());
        desk.menu.chooseCategory(QStringLiteral("菜品"));
        desk.bill.addItem(desk.menu.records().at(0), kNow);
        QCOMPARE(ReadSlots(*db, 3).at(2), QStringLiteral("20241212130725"));
        desk.bill.checkOut();
        desk.bill.save();
        const QList<ClosedBill> closed =
            BillStore(*db).closedBills({false, QString(), QDate(2024, 12, 12), QDate(2024, 12, 12)});
        QCOMPARE(closed.size(), 1);
        QCOMPARE(closed.at(0).billId, QStringLiteral("20241212130725"));
        QCOMPARE(closed.at(0).date.left(10), QStringLiteral("2024-12-12"));
    }

    void addingALineClearsTheSelection() {
        Counter counter;
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        QVERIFY(counter.bill.selectLine(0));
        QSignalSpy selection(&counter.bill, &BillDocument::selectionChanged);
        counter.add(QStringLiteral("酒水"), QStringLiteral("可乐"));
        QCOMPARE(counter.bill.selectedLine(), -1);
        QCOMPARE(selection.count(), 1);
        QCOMPARE(selection.at(0).at(0).toInt(), -1);
        counter.bill.deleteSelected(); // nothing is selected: nothing goes
        QCOMPARE(counter.storedLines().size(), 2);
    }

    void aStepOfSeveralEditsIsStoredWholeOrNotAtAll() {
        Counter counter(5);
        QSignalSpy slotSignals(&counter.bill, &BillDocument::slotStored);
        counter.add(QStringLiteral("菜品"), QStringLiteral("宫保鸡丁"));
        QCOMPARE(slotSignals.count(), 1);
        counter.menu.chooseCategory(QStringLiteral("酒水"));
        const MenuRecord cola = counter.menu.records().at(1);
        const QStringList before =
            counter.column("SELECT \"序号\" || '|' || \"数量\" FROM \"明细\" ORDER BY \"序号\"");

        // The last edit cannot be stored: the lines added and changed before it are taken back too.
        QVERIFY_THROWS_EXCEPTION(StoreError, counter.bill.runAsOneStep([&] {
            const int at = counter.bill.addItem(cola, kNow);
            counter.bill.setQuantity(at, QStringLiteral("3"));
            counter.bill.setQuantity(0, QStringLiteral("12345678901"));
        }));
        QCOMPARE(counter.column("SELECT \"序号\" || '|' || \"数量\" FROM \"明细\" ORDER BY \"序号\""),
                 before);
        QCOMPARE(counter.bill.lines().size(), 1);
        QCOMPARE(counter.bill.header().receivable, QStringLiteral("28"));
        QCOMPARE(counter.billField("应收"), QStringLiteral("28"));
        QCOMPARE(slotSignals.count(), 1);

        // A step on a free table that goes through occupies it once, with every line at its quantity.
        counter.desk.openTable(6, kNow);
        slotSignals.clear();
        counter.bill.runAsOneStep([&] {
            const int at = counter.bill.addItem(cola, kNow);
            counter.bill.setQuantity(at, QStringLiteral("3"));
            counter.bill.addItem(cola, kNow);
        });
        QCOMPARE(slotSignals.count(), 1);
        QVERIFY(counter.tables.isOccupied(6));
        QCOMPARE(counter.slot(6), counter.bill.billId());
        QCOMPARE(counter.storedLines().size(), 2);
        QCOMPARE(counter.billField("应收"), QStringLiteral("20"));
    }
};

QTEST_GUILESS_MAIN(BillDocumentTest)
#include "test_bill_document.moc"
