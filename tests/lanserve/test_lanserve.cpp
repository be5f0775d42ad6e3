// Lanserve over HTTP on 127.0.0.1: the ordering flow against the counter's own rules, hostile input,
// refused paths and bodies, a clean end on SIGTERM, and an end when another server took over.

#include "LanserveProcess.h"

#include "bill/BillStore.h"
#include "bill/KitchenLedger.h"
#include "common/TestHome.h"
#include "desk/OrderDesk.h"
#include "desk/TableMap.h"
#include "lanserve/PageTemplate.h"
#include "mobile/ServerControl.h"
#include "print/PrinterStore.h"
#include "settings/SettingsStore.h"
#include "settings/StaffAccounts.h"
#include "store/ActionTrail.h"
#include "store/Claims.h"
#include "store/Database.h"
#include "store/Ids.h"
#include "store/NumberText.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>
#include <QUrl>

#include <csignal>

namespace {

using Counter = OrderDesk;

QStringList without(const QStringList& rows, const QString& billId) {
    QStringList kept;
    for (const QString& row : rows)
        if (!row.contains(billId))
            kept.append(row);
    return kept;
}

// A bill row as column -> value, leaving out the columns that name the bill or its table.
QMap<QString, QString> billColumns(Database& db, const QString& billId) {
    QMap<QString, QString> columns;
    Statement query(db, "SELECT * FROM \"桌台\" WHERE \"id\" = ?");
    query.bind(1, billId);
    if (query.next())
        for (int i = 0; i < query.columnCount(); ++i)
            if (query.columnName(i) != QLatin1String("id") && query.columnName(i) != QStringLiteral("桌号") &&
                query.columnName(i) != QLatin1String("rowid")) // the server's own row number
                columns.insert(query.columnName(i), query.text(i));
    return columns;
}

QStringList lineColumns(Database& db, const QString& billId) {
    QStringList lines;
    Statement query(db,
                    "SELECT \"日期\", \"名称\", \"数量\", \"单位\", \"单价\", \"金额\", "
                    "\"分类\", \"排序\", \"备注\", \"上菜\", \"备用1\", \"备用2\", \"备用3\" FROM \"明细\" "
                    "WHERE \"id\" = ? ORDER BY rowid");
    query.bind(1, billId);
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < query.columnCount(); ++i)
            fields.append(query.text(i));
        lines.append(fields.join(QLatin1Char('|')));
    }
    return lines;
}

QByteArray escaped(const QString& text) {
    return HtmlEscape(text).toUtf8();
}

const QByteArray kScript = "<script>alert(1)</script>";

} // namespace

class TestLanserve : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void flowMatchesCounter();
    void aRefusedOrderLeavesTheBillAsItWas();
    void anOrderTheKitchenCannotTakeSaysSo();
    void pageFilesAreTemplates();
    void hostileFields_data();
    void hostileFields();
    void refusedPaths_data();
    void refusedPaths();
    void oversizedRequests_data();
    void oversizedRequests();
    void postsFromOtherSites_data();
    void postsFromOtherSites();
    void sigtermEndsCleanly();
    void aServerWhoseClaimAnotherTookStops();

private:
    int port() const { return server_->port(); }
    // Requests as signed-in staff.
    RawReply get(const QByteArray& target) { return Get(port(), target, staff_); }
    RawReply post(const QByteArray& target, const QList<QPair<QString, QString>>& fields) {
        return PostForm(port(), target, fields, staff_);
    }
    QString slot(int table);
    QString ensureBill(int table);

    std::unique_ptr<TestHome> home_;
    QString folder_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<LanserveProcess> server_;
    QByteArray staff_;
};

void TestLanserve::initTestCase() {
    home_ = std::make_unique<TestHome>();
    folder_ = home_->path(QStringLiteral("data"));
    db_ = PrepareDataFolder(folder_);
    server_ = std::make_unique<LanserveProcess>(folder_);
    QVERIFY2(server_->start(), qPrintable(server_->error()));
    staff_ = SignIn(port());
    QVERIFY(!staff_.isEmpty());
}

QString TestLanserve::slot(int table) {
    Counter reader(*db_);
    reader.tables.refreshSlots();
    return reader.tables.slotValue(table);
}

QString TestLanserve::ensureBill(int table) {
    if (SlotOccupied(slot(table)))
        return slot(table);
    Counter reader(*db_);
    const RawReply added =
        post("/phone/savemenu.asp", OrderFields(QString::number(table), reader.tables.tableName(table),
                                                {{DishKeys(*db_, kDishes).at(0), "1"}}));
    [&] { QCOMPARE(added.status, 303); }();
    return slot(table);
}

void TestLanserve::flowMatchesCounter() {
    constexpr int phoneTable = 2;
    constexpr int counterTable = 3;
    Counter reader(*db_);
    const QStringList names = reader.settings.tableList();
    QVERIFY(names.size() > counterTable);
    QVERIFY(!SlotOccupied(slot(phoneTable)));

    const RawReply list = get("/phone/list.asp");
    QCOMPARE(list.status, 200);
    QVERIFY(HeaderValue(list, "Content-Type").contains(QLatin1String("utf-8")));
    for (const QString& name : names)
        QVERIFY2(list.body.contains(escaped(name)), qPrintable(name));

    reader.menu.chooseCategory(kDishes);
    const QList<MenuRecord> dishes = reader.menu.records();
    QVERIFY(dishes.size() >= 3);
    const RawReply menu = get("/phone/menu.asp?t=2&c=0");
    QCOMPARE(menu.status, 200);
    for (const MenuRecord& item : dishes)
        QVERIFY2(menu.body.contains(escaped(item.name)), qPrintable(item.name));

    // Pinyin initials find the dish; another dish is not listed.
    const QString initials = [&] {
        Statement query(*db_, "SELECT \"拼音\" FROM \"菜单\" WHERE \"名称\" = ?");
        query.bind(1, EscapeBrackets(dishes.at(1).name));
        return query.next() ? query.text(0) : QString();
    }();
    QVERIFY(!initials.isEmpty());
    const RawReply found = get("/phone/menu.asp?t=2&c=0&s=" + QUrl::toPercentEncoding(initials));
    QCOMPARE(found.status, 200);
    QVERIFY(found.body.contains(escaped(dishes.at(1).name)));
    QVERIFY(!found.body.contains("value=\"" + escaped(dishes.at(2).name) + "\""));

    // Two dishes to the free table: the first at 2, the second at its menu quantity.
    const QStringList keys = DishKeys(*db_, kDishes);
    const RawReply added =
        post("/phone/savemenu.asp",
             OrderFields("2", names.at(phoneTable),
                         {{keys.at(0), "2"}, {keys.at(1), dishes.at(1).quantity}, {keys.at(2), "0"}}));
    QCOMPARE(added.status, 303);
    QCOMPARE(HeaderValue(added, "Location"), QStringLiteral("detail.asp?t=2&m=added"));
    const QString billId = slot(phoneTable);
    QVERIFY(SlotOccupied(billId));
    QList<OrderLine> lines = BillStore(*db_).lines(billId);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0).name, dishes.at(0).name);
    QCOMPARE(lines.at(0).quantity, QStringLiteral("2"));
    QCOMPARE(lines.at(0).amount, NumberText(2 * ReadNumber(dishes.at(0).price)));
    QCOMPARE(lines.at(0).sortKey, QStringLiteral("1000"));
    // Each line says who added it and when.
    {
        Statement addedBy(*db_, "SELECT \"点菜人\", \"点菜时间\" FROM \"明细\" WHERE \"序号\" = ?");
        addedBy.bind(1, lines.at(0).lineId);
        QVERIFY(addedBy.next());
        QCOMPARE(addedBy.text(0), QStringLiteral("001"));
        QCOMPARE(QDateTime::fromString(addedBy.text(1), QStringLiteral("yyyy-MM-dd HH:mm:ss")).date(),
                 QDate::currentDate());
    }
    QCOMPARE(lines.at(1).sortKey, QStringLiteral("1001"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{12}000$")).match(lines.at(0).lineId).hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{12}001$")).match(lines.at(1).lineId).hasMatch());

    const RawReply modified =
        post("/phone/modify.asp",
             {{"t", "2"}, {"b", billId}, {"l", lines.at(0).lineId}, {"qty", "3"}, {"remark", "少辣"}});
    QCOMPARE(modified.status, 303);
    // The kitchen has the second dish: deleting it is a 退菜 in the signed-in waiter's name, with the
    // form's reason.
    KitchenLedger(*db_).record(billId, lines.at(1).lineId, QStringLiteral("厨房"), QStringLiteral("1"), 1,
                               lines.at(1).quantity, QDateTime::currentDateTime());
    // A waiter's role lacks 退菜, and a phone cannot ask for the 店长: the waiter is sent to the counter.
    AddStaffAccount(*db_,
                    {QStringLiteral("007"), QStringLiteral("小王"), kRoleWaiter, true, QStringLiteral("1")});
    const QByteArray waiter = SignIn(port(), QStringLiteral("1"), QStringLiteral("007"));
    QVERIFY(!waiter.isEmpty());
    const RawReply refused =
        PostForm(port(), "/phone/delete.asp",
                 {{"t", "2"}, {"b", billId}, {"l", lines.at(1).lineId}, {"reason", "上错菜"}}, waiter);
    QCOMPARE(refused.status, 403);
    QVERIFY(refused.body.contains(QStringLiteral("退菜需要店长批准").toUtf8()));
    QCOMPARE(BillStore(*db_).lines(billId).size(), 2);
    const RawReply deleted = post(
        "/phone/delete.asp", {{"t", "2"}, {"b", billId}, {"l", lines.at(1).lineId}, {"reason", "上错菜"}});
    QCOMPARE(deleted.status, 303);
    const QList<TrailRow> trail = ActionTrail(*db_).rows();
    QCOMPARE(trail.size(), 1);
    QCOMPARE(trail.first().action.staff, QStringLiteral("001"));
    QCOMPARE(trail.first().action.action, QStringLiteral("退菜"));
    QCOMPARE(trail.first().action.reason, QStringLiteral("上错菜"));
    QCOMPARE(trail.first().action.bill, billId);
    const RawReply saved =
        post("/phone/save.asp",
             {{"t", "2"}, {"b", billId}, {"name", "张三"}, {"phone", "13800000000"}, {"remark", "靠窗"}});
    QCOMPARE(saved.status, 303);
    QCOMPARE(HeaderValue(saved, "Location"), QStringLiteral("detail.asp?t=2&m=saved"));

    // The same steps at the counter, on another free table.
    Counter counter(*db_);
    const QDateTime now = QDateTime::currentDateTime();
    counter.openTable(counterTable, now);
    counter.menu.chooseCategory(kDishes);
    counter.bill.setQuantity(counter.bill.addItem(counter.menu.records().at(0), now), QStringLiteral("2"));
    counter.bill.addItem(counter.menu.records().at(1), now);
    counter.bill.setQuantity(0, QStringLiteral("3"));
    counter.bill.setRemark(0, QStringLiteral("少辣"));
    counter.bill.selectLine(1);
    counter.bill.deleteSelected();
    counter.bill.setCustomerName(QStringLiteral("张三"));
    counter.bill.setPhone(QStringLiteral("13800000000"));
    counter.bill.setBillRemark(QStringLiteral("靠窗"));
    QCOMPARE(counter.bill.save(), BillDocument::SaveResult::Saved);
    const QString counterBill = slot(counterTable);
    QCOMPARE(counterBill, counter.bill.billId());

    QCOMPARE(billColumns(*db_, billId), billColumns(*db_, counterBill));
    QCOMPARE(lineColumns(*db_, billId), lineColumns(*db_, counterBill));
    {
        Statement tableName(*db_, "SELECT \"桌号\" FROM \"桌台\" WHERE \"id\" = ?");
        tableName.bind(1, billId);
        QVERIFY(tableName.next());
        QCOMPARE(tableName.text(0), names.at(phoneTable));
    }

    // The counter opens the phone's bill and sees the same lines and totals.
    Counter later(*db_);
    later.openTable(phoneTable, QDateTime::currentDateTime());
    QCOMPARE(later.bill.billId(), billId);
    QCOMPARE(later.bill.lines().size(), 1);
    QCOMPARE(later.bill.lines().at(0).quantity, QStringLiteral("3"));
    QCOMPARE(later.bill.lines().at(0).remark, QStringLiteral("少辣"));
    QCOMPARE(later.bill.header().receivable, NumberText(3 * ReadNumber(dishes.at(0).price)));
    QCOMPARE(later.bill.header().customerName, QStringLiteral("张三"));

    const RawReply detail = get("/phone/detail.asp?t=2&m=saved");
    QCOMPARE(detail.status, 200);
    QVERIFY(detail.body.contains(escaped(later.bill.header().receivable)));
    QVERIFY(detail.body.contains("少辣"));
    QVERIFY(detail.body.contains("已保存"));
    QVERIFY(get("/phone/list.asp").body.contains(escaped(later.bill.header().receivable)));

    // A change posted for a bill the counter has settled since is refused.
    later.tables.settle(phoneTable);
    const QStringList before = SnapshotOf(*db_);
    const RawReply stale =
        post("/phone/save.asp", {{"t", "2"}, {"b", billId}, {"name", "李四"}, {"phone", ""}, {"remark", ""}});
    QCOMPARE(stale.status, 400);
    QCOMPARE(SnapshotOf(*db_), before);
}

void TestLanserve::pageFilesAreTemplates() {
    const QString path = folder_ + QStringLiteral("/phone/list.asp");
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray original = file.readAll();
    file.close();
    const auto rewrite = [&](const QByteArray& content) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(content);
    };

    rewrite(original + "<p>今日特价</p>{{#tables}}<i>{{name}}</i>{{/tables}}");
    const RawReply edited = get("/phone/list.asp");
    QVERIFY(edited.body.contains("今日特价"));
    QVERIFY(edited.body.contains("<i>" + escaped(Counter(*db_).settings.tableList().at(0)) + "</i>"));

    rewrite("<p>{{#tables}}never closed</p>");
    const RawReply broken = get("/phone/list.asp");
    QCOMPARE(broken.status, 500);
    QVERIFY(broken.body.contains("list.asp"));
    rewrite(original);
    QCOMPARE(get("/phone/list.asp").status, 200);
}

void TestLanserve::hostileFields_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("accepted");
    const QList<QPair<const char*, QString>> values{{"quote", QStringLiteral("O'Brien \"x\"")},
                                                    {"script", QString::fromLatin1(kScript)},
                                                    {"2000 letters", QString(2000, QLatin1Char('x'))},
                                                    {"2000 Chinese", QString(2000, QChar(0x957F))},
                                                    {"nul", QStringLiteral("a") + QChar(u'\0') + u'b'}};
    const QStringList storing{"save.name", "save.phone", "save.remark", "modify.remark", "menu.search"};
    const QStringList fields{"save.name",   "save.phone",  "save.remark",  "modify.remark", "modify.qty",
                             "menu.search", "savemenu.tn", "savemenu.key", "savemenu.qty"};
    for (const QString& field : fields) {
        for (const auto& [label, value] : values) {
            const bool accepted =
                storing.contains(field) && value.size() < 100 && !value.contains(QChar(u'\0'));
            QTest::addRow("%s %s", qPrintable(field), label) << field << value << accepted;
        }
    }
}

void TestLanserve::anOrderTheKitchenCannotTakeSaysSo() {
    constexpr int table = 8;
    Printer kitchen;
    kitchen.name = QStringLiteral("厨房");
    kitchen.address = QStringLiteral("tcp://127.0.0.1:9");
    kitchen.categories = {kDishes};
    PrinterStore(*db_).add(kitchen);
    const auto removed = qScopeGuard([&] { PrinterStore(*db_).remove(kitchen.name); });
    // A drink, which no printer takes.
    const RawReply added =
        post("/phone/savemenu.asp", OrderFields(QString::number(table), Counter(*db_).tables.tableName(table),
                                                {{DishKeys(*db_, kDrinks).at(0), "1"}}));
    QCOMPARE(added.status, 303);
    QCOMPARE(HeaderValue(added, "Location"), QStringLiteral("detail.asp?t=8&m=notsent"));
    QVERIFY(get("/phone/detail.asp?t=8&m=notsent").body.contains(escaped(QStringLiteral("未送厨房"))));
}

void TestLanserve::aRefusedOrderLeavesTheBillAsItWas() {
    constexpr int table = 6;
    Counter reader(*db_);
    const QString name = reader.tables.tableName(table);
    const QStringList keys = DishKeys(*db_, kDishes);
    const auto order = [&](const QString& first, const QString& second) {
        return post("/phone/savemenu.asp",
                    OrderFields(QString::number(table), name, {{keys.at(3), first}, {keys.at(0), second}}));
    };
    // Quantities outside the rule are refused with the rule itself.
    for (const char* wrong : {"0.001", "10000", "1.234"}) {
        const RawReply refused = order(QString::fromLatin1(wrong), QStringLiteral("1"));
        QCOMPARE(refused.status, 400);
        QVERIFY2(refused.body.contains(escaped(QStringLiteral("0.01 到 9999.99 之间、最多两位小数"))),
                 refused.body.constData());
    }
    QVERIFY(!SlotOccupied(slot(table)));

    // Large orders until the bill's dish total no longer fits its column: from then on each order is
    // refused whole, its first line included, and the page says the bill did not change.
    int accepted = 0;
    int refusals = 0;
    for (int i = 0; i < 20; ++i) {
        const QStringList before = SnapshotOf(*db_);
        const RawReply reply = order(QStringLiteral("9999.99"), QStringLiteral("9999.99"));
        if (reply.status == 303) {
            ++accepted;
            continue;
        }
        ++refusals;
        QCOMPARE(reply.status, 400);
        QVERIFY(reply.body.contains(escaped(QStringLiteral("账单没有改动"))));
        QCOMPARE(SnapshotOf(*db_), before);
    }
    QVERIFY(accepted > 0);
    QVERIFY(refusals > 0);
    const QList<OrderLine> lines = BillStore(*db_).lines(slot(table));
    QCOMPARE(lines.size(), 2 * accepted);
    for (const OrderLine& line : lines)
        QCOMPARE(line.quantity, QStringLiteral("9999.99"));
}

void TestLanserve::hostileFields() {
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(bool, accepted);
    const QString billId = ensureBill(0);
    QVERIFY(SlotOccupied(billId));
    Counter reader(*db_);
    const OrderLine line = BillStore(*db_).lines(billId).at(0);
    const QStringList before = SnapshotOf(*db_);

    RawReply reply;
    QByteArray shownAt; // the page that shows the value afterwards
    if (field.startsWith(QLatin1String("save."))) {
        QList<QPair<QString, QString>> fields{
            {"t", "0"}, {"b", billId}, {"name", ""}, {"phone", ""}, {"remark", ""}};
        for (auto& pair : fields)
            if (pair.first == field.mid(5))
                pair.second = value;
        reply = post("/phone/save.asp", fields);
        shownAt = "/phone/save.asp?t=0";
    } else if (field.startsWith(QLatin1String("modify."))) {
        const bool remark = field == QLatin1String("modify.remark");
        reply = post("/phone/modify.asp", {{"t", "0"},
                                           {"b", billId},
                                           {"l", line.lineId},
                                           {"qty", remark ? line.quantity : value},
                                           {"remark", remark ? value : line.remark}});
        shownAt = "/phone/detail.asp?t=0";
    } else if (field == QLatin1String("menu.search")) {
        reply = get("/phone/menu.asp?t=0&c=0&s=" + QUrl::toPercentEncoding(value));
        shownAt = "/phone/menu.asp?t=0&c=0&s=" + QUrl::toPercentEncoding(value);
    } else {
        const QString name = reader.tables.tableName(0);
        reply = post("/phone/savemenu.asp",
                     OrderFields("0", field == QLatin1String("savemenu.tn") ? value : name,
                                 {{DishKeys(*db_, kDishes).at(0),
                                   field == QLatin1String("savemenu.qty") ? value : "1"}},
                                 field == QLatin1String("savemenu.key") ? value : QString()));
    }

    QVERIFY2(reply.status != 0, "no answer");
    QVERIFY(!reply.body.contains(kScript));
    if (!accepted) {
        QVERIFY2(reply.status >= 400 && reply.status < 500, qPrintable(QString::number(reply.status)));
        QVERIFY(reply.body.contains("id=\"message\""));
        QCOMPARE(SnapshotOf(*db_), before);
    } else {
        QVERIFY(reply.status == 200 || reply.status == 303);
        const RawReply shown = get(shownAt);
        QCOMPARE(shown.status, 200);
        QVERIFY(shown.body.contains(escaped(value)));
        QVERIFY(!shown.body.contains(kScript));
        QCOMPARE(without(SnapshotOf(*db_), billId), without(before, billId));
    }
    QCOMPARE(get("/phone/list.asp").status, 200);
}

void TestLanserve::refusedPaths_data() {
    QTest::addColumn<QByteArray>("target");
    QTest::newRow("database") << QByteArray("/数据库.dat");
    QTest::newRow("database encoded") << QByteArray("/%E6%95%B0%E6%8D%AE%E5%BA%93.dat");
    QTest::newRow("dot dot") << QByteArray("/phone/../数据库.dat");
    QTest::newRow("encoded dot dot") << QByteArray("/phone/%2e%2e/%E6%95%B0%E6%8D%AE%E5%BA%93.dat");
    QTest::newRow("encoded slash") << QByteArray("/phone/..%2f..%2f数据库.dat");
    QTest::newRow("from a page") << QByteArray("/phone/list.asp/../../数据库.dat");
    QTest::newRow("wal") << QByteArray("/数据库.dat-wal");
    QTest::newRow("copy in page folder") << QByteArray("/phone/数据库.dat");
    QTest::newRow("pid file") << QByteArray("/Lanserve.pid");
    QTest::newRow("log") << QByteArray("/cjpos.log");
    QTest::newRow("program") << QByteArray("/Lanserve");
    QTest::newRow("folder under the pages") << QByteArray("/phone/pages/");
    QTest::newRow("other case") << QByteArray("/phone/LIST.ASP");
    QTest::newRow("nul") << QByteArray("/phone/list.asp%00.dat");
}

void TestLanserve::refusedPaths() {
    QFETCH(QByteArray, target);
    QFile::copy(folder_ + QStringLiteral("/数据库.dat"), folder_ + QStringLiteral("/phone/数据库.dat"));
    const RawReply reply = get(target);
    QVERIFY2(reply.status == 404 || reply.status == 400, qPrintable(QString::number(reply.status)));
    QVERIFY(reply.body.contains("id=\"message\""));
    QVERIFY(reply.body.size() < 4096);
}

void TestLanserve::oversizedRequests_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    const QByteArray formHead = "POST /phone/save.asp HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                                "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: ";
    const QByteArray form = "t=0&remark=" + QByteArray(9000, 'x');
    QTest::newRow("form body") << formHead + QByteArray::number(form.size()) + "\r\n\r\n" + form << 413;
    const QByteArray big(200 * 1024, 'a');
    QTest::newRow("200 KiB body")
        << "POST /phone/save.asp HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
           "Content-Type: text/plain\r\nContent-Length: " +
               QByteArray::number(big.size()) + "\r\n\r\n" + big
        << 413;
    QTest::newRow("request line") << "GET /phone/menu.asp?t=0&s=" + QByteArray(10000, 'x') +
                                         " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"
                                  << 414;
}

void TestLanserve::oversizedRequests() {
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    const QStringList before = SnapshotOf(*db_);
    const RawReply reply = SendRaw(port(), request);
    QCOMPARE(reply.status, status);
    QCOMPARE(SnapshotOf(*db_), before);
    QCOMPARE(get("/phone/list.asp").status, 200);
}

void TestLanserve::postsFromOtherSites_data() {
    QTest::addColumn<QByteArray>("origin");
    QTest::addColumn<int>("status");
    QTest::newRow("this server") << "http://127.0.0.1:" + QByteArray::number(port()) << 303;
    QTest::newRow("no origin") << QByteArray() << 303;
    QTest::newRow("another site") << QByteArray("http://example.invalid") << 403;
    QTest::newRow("another port") << QByteArray("http://127.0.0.1:1") << 403;
    QTest::newRow("sandboxed") << QByteArray("null") << 403;
}

void TestLanserve::postsFromOtherSites() {
    QFETCH(QByteArray, origin);
    QFETCH(int, status);
    const QString billId = ensureBill(0);
    const QStringList before = SnapshotOf(*db_);
    const QByteArray body =
        FormBody({{"t", "0"}, {"b", billId}, {"name", "王五"}, {"phone", ""}, {"remark", ""}});
    const RawReply reply =
        SendRaw(port(), "POST /phone/save.asp HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port()) +
                            "\r\nConnection: close\r\nCookie: " + staff_ + "\r\n" +
                            (origin.isEmpty() ? QByteArray() : "Origin: " + origin + "\r\n") +
                            "Content-Type: application/x-www-form-urlencoded\r\n"
                            "Content-Length: " +
                            QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QCOMPARE(reply.status, status);
    if (status == 403)
        QCOMPARE(SnapshotOf(*db_), before);
}

void TestLanserve::sigtermEndsCleanly() {
    const QString folder = home_->path(QStringLiteral("data2"));
    auto db = PrepareDataFolder(folder);
    LanserveProcess server(folder);
    QVERIFY2(server.start(), qPrintable(server.error()));
    const QString pidFile = folder + QStringLiteral("/Lanserve.pid");
    QFile pid(pidFile);
    QVERIFY(pid.open(QIODevice::ReadOnly));
    QCOMPARE(pid.readAll().trimmed().toLongLong(), server.process().processId());
    pid.close();
    const ServerControl control(QString::fromLocal8Bit(qgetenv("CJ_BIN_DIR")), folder);
    QCOMPARE(control.runningServer().value_or(0), server.process().processId());

    // A folder without the database is refused, and no empty database is made there. On a database
    // server every folder names the same database: a server for another folder is the second one.
    const QString empty = home_->path(QStringLiteral("empty"));
    QDir().mkpath(empty);
    QProcess refused;
    refused.start(LanserveProcess::programPath(),
                  {empty, QStringLiteral("--listen"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                   QStringLiteral("0")});
    QVERIFY(refused.waitForFinished(10000));
    if (TestsOnServer()) {
        QCOMPARE(refused.exitCode(), 3);
        QVERIFY(QString::fromLocal8Bit(refused.readAllStandardError() + refused.readAllStandardOutput())
                    .contains(QStringLiteral("已有一个 Lanserve 在为数据库")));
    } else {
        QCOMPARE(refused.exitCode(), 2);
    }
    QVERIFY(QDir(empty).isEmpty());

    // A second server for the same folder does not start.
    QProcess second;
    second.start(LanserveProcess::programPath(),
                 {folder, QStringLiteral("--listen"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                  QStringLiteral("0")});
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 3);

    // An idle keep-alive connection does not hold the server up.
    QTcpSocket idle;
    idle.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(server.port()));
    QVERIFY(idle.waitForConnected(3000));
    QCOMPARE(Get(server.port(), "/phone/list.asp", SignIn(server.port())).status, 200);

    server.terminate();
    QVERIFY(server.process().waitForFinished(3000));
    QCOMPARE(server.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(server.process().exitCode(), 0);
    QVERIFY(!QFile::exists(pidFile));
    QVERIFY(!control.runningServer());
}

void TestLanserve::aServerWhoseClaimAnotherTookStops() {
    if (!TestsOnServer())
        QSKIP("on the file one server per folder is kept by its pid file");
    const QString folder = home_->path(QStringLiteral("data3"));
    auto other = PrepareDataFolder(folder);
    qputenv("CJ_CLAIM_LEASE_MS", "600");
    LanserveProcess server(folder);
    const bool started = server.start();
    qunsetenv("CJ_CLAIM_LEASE_MS");
    QVERIFY2(started, qPrintable(server.error()));

    // Cut off from the database longer than a lease (stopped here), it finds another server has taken over.
    const auto pid = static_cast<pid_t>(server.process().processId());
    ::kill(pid, SIGSTOP);
    const QString lanserve = QString::fromUtf8(Claims::kLanserveObject);
    bool taken = false;
    for (int i = 0; i < 100 && !taken; ++i) {
        QTest::qWait(50);
        taken = Claims(*other).take(lanserve);
    }
    ::kill(pid, SIGCONT);
    QVERIFY(taken);
    QVERIFY(server.process().waitForFinished(10000));
    QCOMPARE(server.process().exitCode(), 3);
    QVERIFY(Claims(*other).stillHeld(lanserve));
}

QTEST_GUILESS_MAIN(TestLanserve)
#include "test_lanserve.moc"
