// Printer settings and routing: which printer gets which line, what cannot be stored, and what becomes of
// the jobs of a printer that is renamed or removed.

#include "OrderLines.h"
#include "common/TestHome.h"
#include "print/JobStore.h"
#include "print/PrintQueue.h"
#include "print/PrinterStore.h"
#include "print/Routing.h"
#include "store/Database.h"
#include "store/Schema.h"
#include "store/StoreError.h"

#include <QTest>

namespace {

Printer KitchenPrinter(const QString& name, const QStringList& categories, bool enabled = true) {
    Printer printer;
    printer.name = name;
    printer.address = QStringLiteral("tcp://127.0.0.1:9100");
    printer.categories = categories;
    printer.enabled = enabled;
    return printer;
}

QStringList Names(const QList<OrderLine>& lines) {
    QStringList names;
    for (const OrderLine& line : lines)
        names.append(line.name);
    return names;
}

// "printer: names" for each ticket of the route.
QStringList Tickets(const KitchenRoute& route) {
    QStringList tickets;
    for (const PrinterLines& ticket : route.tickets)
        tickets.append(ticket.printer + QStringLiteral(": ") + Names(ticket.lines).join(QLatin1Char(',')));
    return tickets;
}

const QList<OrderLine> kOrder{Line(kDishes, QStringLiteral("宫保鸡丁")),
                              Line(kDrinks, QStringLiteral("可乐")), Line(kOthers, QStringLiteral("纸巾")),
                              Line(kDishes, QStringLiteral("米饭"))};

} // namespace

Q_DECLARE_METATYPE(Printer)

class TestPrinters : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void routing_data();
    void routing();
    void printersSharingACategoryAreWarnedOf();
    void addresses_data();
    void addresses();
    void storedPrintersComeBackAsTheyWere();
    void printersThatCannotBeStoredAreRefused_data();
    void printersThatCannotBeStoredAreRefused();
    void renamingKeepsWaitingJobsAndRemovingGivesThemUp();
    void unroutedLinesAreKeptAsNotSent();
    void phoneOrdersGoOutOnlyWithTheSwitchOnAndAKitchenPrinter();
    void aNewDatabaseAndAnOldOneBothHaveThePrintTables();

private:
    std::unique_ptr<TestHome> home_;
    std::unique_ptr<Database> db_;
};

void TestPrinters::init() {
    home_ = std::make_unique<TestHome>();
    db_ = home_->createDatabase();
}

void TestPrinters::cleanup() {
    db_.reset();
    home_.reset();
}

void TestPrinters::routing_data() {
    QTest::addColumn<QList<Printer>>("printers");
    QTest::addColumn<QStringList>("tickets");
    QTest::addColumn<QStringList>("unrouted");
    QTest::newRow("dishes to the kitchen, drinks to the bar, the rest unrouted")
        << QList<Printer>{KitchenPrinter(QStringLiteral("厨房"), {kDishes}),
                          KitchenPrinter(QStringLiteral("吧台"), {kDrinks})}
        << QStringList{QStringLiteral("厨房: 宫保鸡丁,米饭"), QStringLiteral("吧台: 可乐")}
        << QStringList{QStringLiteral("纸巾")};
    QTest::newRow("a printer without categories takes what no other lists")
        << QList<Printer>{KitchenPrinter(QStringLiteral("厨房"), {}),
                          KitchenPrinter(QStringLiteral("吧台"), {kDrinks})}
        << QStringList{QStringLiteral("厨房: 宫保鸡丁,纸巾,米饭"), QStringLiteral("吧台: 可乐")}
        << QStringList{};
    QTest::newRow("a disabled printer takes nothing")
        << QList<Printer>{KitchenPrinter(QStringLiteral("厨房"), {kDishes}),
                          KitchenPrinter(QStringLiteral("吧台"), {kDrinks}, false)}
        << QStringList{QStringLiteral("厨房: 宫保鸡丁,米饭")}
        << QStringList{QStringLiteral("可乐"), QStringLiteral("纸巾")};
    QTest::newRow("two printers listing the same category both print it")
        << QList<Printer>{KitchenPrinter(QStringLiteral("热菜"), {kDishes}),
                          KitchenPrinter(QStringLiteral("凉菜"), {kDishes})}
        << QStringList{QStringLiteral("热菜: 宫保鸡丁,米饭"), QStringLiteral("凉菜: 宫保鸡丁,米饭")}
        << QStringList{QStringLiteral("可乐"), QStringLiteral("纸巾")};
    Printer billsOnly = KitchenPrinter(QStringLiteral("前台"), {});
    billsOnly.kitchen = false;
    billsOnly.bills = true;
    QTest::newRow("a bill printer takes no kitchen lines")
        << QList<Printer>{billsOnly} << QStringList{} << Names(kOrder);
}

void TestPrinters::routing() {
    QFETCH(QList<Printer>, printers);
    QFETCH(QStringList, tickets);
    QFETCH(QStringList, unrouted);
    const KitchenRoute route = RouteToKitchen(printers, kOrder);
    QCOMPARE(Tickets(route), tickets);
    QCOMPARE(Names(route.unrouted), unrouted);
}

void TestPrinters::printersSharingACategoryAreWarnedOf() {
    const Printer kitchen = KitchenPrinter(QStringLiteral("厨房"), {kDishes});
    const Printer bar = KitchenPrinter(QStringLiteral("吧台"), {kDrinks});
    QCOMPARE(
        SharedCategoriesWarning({kitchen, bar, KitchenPrinter(QStringLiteral("凉菜"), {kDishes}, false)}),
        QString());
    QCOMPARE(SharedCategoriesWarning({kitchen, bar, KitchenPrinter(QStringLiteral("凉菜"), {kDishes})}),
             QStringLiteral("厨房、凉菜都接收“菜品”，这一分类的每一项各打印一张"));
    // Printers without categories share the categories no other lists.
    QCOMPARE(SharedCategoriesWarning({kitchen, KitchenPrinter(QStringLiteral("后厨"), {}),
                                      KitchenPrinter(QStringLiteral("前台"), {})}),
             QStringLiteral("后厨、前台都接收“酒水”，这一分类的每一项各打印一张；后厨、前台都接收“其他”，这一"
                            "分类的每一项各打印一张"));
}

void TestPrinters::addresses_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("port");
    QTest::newRow("tcp") << "tcp://192.168.1.100:9100" << true << int(PrinterAddress::Kind::Tcp)
                         << "192.168.1.100" << 9100;
    QTest::newRow("tcp default port")
        << "tcp://printer.local" << true << int(PrinterAddress::Kind::Tcp) << "printer.local" << 9100;
    QTest::newRow("tcp ipv6") << "tcp://[::1]:9101" << true << int(PrinterAddress::Kind::Tcp) << "::1"
                              << 9101;
    QTest::newRow("usb") << "usb:/dev/usb/lp0" << true << int(PrinterAddress::Kind::Usb) << "/dev/usb/lp0"
                         << 0;
    QTest::newRow("cups") << "cups:POS80" << true << int(PrinterAddress::Kind::Cups) << "POS80" << 0;
    QTest::newRow("system") << " system " << true << int(PrinterAddress::Kind::System) << "" << 9100;
    QTest::newRow("tcp with a path") << "tcp://host:9100/x" << false << 0 << "" << 0;
    QTest::newRow("tcp port out of range") << "tcp://host:70000" << false << 0 << "" << 0;
    QTest::newRow("usb relative") << "usb:lp0" << false << 0 << "" << 0;
    QTest::newRow("cups with a blank") << "cups:my queue" << false << 0 << "" << 0;
    QTest::newRow("plain host") << "192.168.1.100" << false << 0 << "" << 0;
}

void TestPrinters::addresses() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QString why;
    const std::optional<PrinterAddress> address = PrinterAddress::Parse(text, &why);
    QCOMPARE(address.has_value(), valid);
    if (!valid) {
        QVERIFY(!why.isEmpty());
        return;
    }
    QFETCH(int, kind);
    QFETCH(QString, where);
    QFETCH(int, port);
    QCOMPARE(int(address->kind), kind);
    QCOMPARE(address->kind == PrinterAddress::Kind::Tcp ? address->host : address->path, where);
    if (address->kind == PrinterAddress::Kind::Tcp)
        QCOMPARE(int(address->port), port);
}

void TestPrinters::storedPrintersComeBackAsTheyWere() {
    PrinterStore store(*db_);
    Printer bar = KitchenPrinter(QStringLiteral("吧台"), {kDrinks, kOthers});
    bar.paperMm = 58;
    bar.bills = true;
    bar.drawer = true;
    store.add(bar);
    store.add(KitchenPrinter(QStringLiteral("厨房"), {}, false));
    const QList<Printer> all = store.all();
    QCOMPARE(all.size(), 2);
    QCOMPARE(store.find(QStringLiteral("吧台")), std::optional<Printer>(bar));
    const std::optional<Printer> kitchen = store.find(QStringLiteral("厨房"));
    QVERIFY(kitchen && kitchen->categories.isEmpty());
    QVERIFY(!kitchen->enabled);
    QCOMPARE(BillPrinter(all)->name, QStringLiteral("吧台"));
    QCOMPARE(DrawerPrinters(all).size(), 1);
    QCOMPARE(KitchenPrinters(all).size(), 1);
}

void TestPrinters::printersThatCannotBeStoredAreRefused_data() {
    QTest::addColumn<Printer>("printer");
    QTest::addColumn<QString>("reason");
    Printer noName = KitchenPrinter(QStringLiteral(" "), {});
    QTest::newRow("no name") << noName << QStringLiteral("名称");
    QTest::newRow("taken name") << KitchenPrinter(QStringLiteral("厨房"), {}) << QStringLiteral("已经有");
    Printer badAddress = KitchenPrinter(QStringLiteral("吧台"), {});
    badAddress.address = QStringLiteral("192.168.1.9");
    QTest::newRow("bad address") << badAddress << QStringLiteral("地址");
    Printer badPaper = KitchenPrinter(QStringLiteral("吧台"), {});
    badPaper.paperMm = 76;
    QTest::newRow("paper") << badPaper << QStringLiteral("纸宽");
    Printer noUse = KitchenPrinter(QStringLiteral("吧台"), {});
    noUse.kitchen = false;
    QTest::newRow("no use") << noUse << QStringLiteral("用途");
    QTest::newRow("unknown category")
        << KitchenPrinter(QStringLiteral("吧台"), {QStringLiteral("甜点")}) << QStringLiteral("甜点");
    QTest::newRow("name too long") << KitchenPrinter(QString(51, QChar(u'厨')), {}) << QStringLiteral("名称");
}

void TestPrinters::printersThatCannotBeStoredAreRefused() {
    QFETCH(Printer, printer);
    QFETCH(QString, reason);
    PrinterStore store(*db_);
    store.add(KitchenPrinter(QStringLiteral("厨房"), {}));
    try {
        store.add(printer);
        QFAIL("stored");
    } catch (const StoreError& error) {
        QVERIFY2(error.text().contains(reason), qPrintable(error.text()));
    }
    QCOMPARE(store.all().size(), 1);
}

void TestPrinters::renamingKeepsWaitingJobsAndRemovingGivesThemUp() {
    PrinterStore store(*db_);
    store.add(KitchenPrinter(QStringLiteral("厨房"), {}));
    const QDateTime now = QDateTime::currentDateTime();
    SendToKitchen(*db_, QStringLiteral("1号"), {Line(kDishes, QStringLiteral("米饭"))}, kSourceCounter, now);
    SendToKitchen(*db_, QStringLiteral("2号"), {Line(kDishes, QStringLiteral("面条"))}, kSourceCounter, now);
    QCOMPARE(JobStore(*db_).unfinishedByPrinter().value(QStringLiteral("厨房")), 2);

    Printer renamed = KitchenPrinter(QStringLiteral("后厨"), {});
    store.change(QStringLiteral("厨房"), renamed);
    QCOMPARE(JobStore(*db_).unfinishedByPrinter(), (QHash<QString, int>{{QStringLiteral("后厨"), 2}}));

    store.remove(QStringLiteral("后厨"));
    QVERIFY(store.all().isEmpty());
    QVERIFY(JobStore(*db_).unfinishedByPrinter().isEmpty());
    const QList<PrintJob> jobs = JobStore(*db_).since(now.date());
    QCOMPARE(jobs.size(), 2);
    for (const PrintJob& job : jobs)
        QCOMPARE(job.state, JobState::GivenUp);
}

void TestPrinters::unroutedLinesAreKeptAsNotSent() {
    PrinterStore(*db_).add(KitchenPrinter(QStringLiteral("厨房"), {kDishes}));
    const QDateTime now = QDateTime::currentDateTime();
    const KitchenSend send = SendToKitchen(*db_, QStringLiteral("3号"), kOrder, kSourceWaiter, now);
    QCOMPARE(send.number, 1);
    QCOMPARE(Names(send.unrouted), (QStringList{QStringLiteral("可乐"), QStringLiteral("纸巾")}));
    const QString message = UnroutedMessage(send);
    QVERIFY(message.contains(QStringLiteral("可乐")) && message.contains(QStringLiteral("酒水")));
    const auto [count, latest] = JobStore(*db_).notRouted(now.date());
    QCOMPARE(count, 1);
    const std::optional<PrintJob> kept = JobStore(*db_).job(latest);
    QVERIFY(kept);
    QCOMPARE(kept->state, JobState::NotRouted);
    QCOMPARE(Names(kept->lines), Names(send.unrouted));
    // The next order of the day gets the next ticket number.
    QCOMPARE(SendToKitchen(*db_, QStringLiteral("3号"), kOrder, kSourceWaiter, now).number, 2);
}

void TestPrinters::phoneOrdersGoOutOnlyWithTheSwitchOnAndAKitchenPrinter() {
    const QDateTime now = QDateTime::currentDateTime();
    PrinterStore store(*db_);
    QVERIFY(store.phoneOrdersToKitchen());
    QVERIFY(!SendPhoneOrderToKitchen(*db_, QStringLiteral("1号"), kOrder, kSourceGuest, now));
    store.add(KitchenPrinter(QStringLiteral("厨房"), {}));
    QVERIFY(SendPhoneOrderToKitchen(*db_, QStringLiteral("1号"), kOrder, kSourceGuest, now));
    store.setPhoneOrdersToKitchen(false);
    QVERIFY(!store.phoneOrdersToKitchen());
    QVERIFY(!SendPhoneOrderToKitchen(*db_, QStringLiteral("1号"), kOrder, kSourceGuest, now));
    QCOMPARE(JobStore(*db_).unfinishedByPrinter().value(QStringLiteral("厨房")), 1);
}

void TestPrinters::aNewDatabaseAndAnOldOneBothHaveThePrintTables() {
    // An old file: version 2, without the print tables or the switch.
    {
        Database old(home_->path(QStringLiteral("old.dat")), QStringLiteral("key"));
        CreateSchema(old);
        old.exec("DROP TABLE \"打印机\"");
        old.exec("DROP TABLE \"打印任务\"");
        old.setUserVersion(2);
    }
    Database reopened(home_->path(QStringLiteral("old.dat")), QStringLiteral("key"));
    MigrateSchema(reopened);
    QCOMPARE(reopened.userVersion(), kSchemaVersion);
    PrinterStore(reopened).add(KitchenPrinter(QStringLiteral("厨房"), {}));
    QVERIFY(PrinterStore(reopened).phoneOrdersToKitchen());
    QVERIFY(SendPhoneOrderToKitchen(reopened, QStringLiteral("1号"), kOrder, kSourceGuest,
                                    QDateTime::currentDateTime()));
}

QTEST_GUILESS_MAIN(TestPrinters)
#include "test_printers.moc"
