// Phone orders through Lanserve on 127.0.0.1 reach a fake kitchen printer by themselves, through the
// counter's spooler: the ticket names the table, the lines and where the order came from, and orders
// from many phones at once print every line exactly once.

#include "FakePrinter.h"
#include "mobile/server/LanserveProcess.h"

#include "app/Startup.h"
#include "common/TestHome.h"
#include "main/OrderDesk.h"
#include "mobile/TableTokens.h"
#include "print/JobStore.h"
#include "print/PrintSpooler.h"
#include "print/PrinterStore.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"

#include <QRegularExpression>
#include <QTest>
#include <thread>

namespace {

// Every "×N" quantity printed on the printer's tickets.
QList<int> PrintedQuantities(const FakePrinter& printer) {
    static const QRegularExpression quantity(QStringLiteral("×(\\d+)"));
    QList<int> quantities;
    for (const PrintedPaper& paper : printer.papers())
        for (const QString& line : paper.lines)
            if (const QRegularExpressionMatch match = quantity.match(line); match.hasMatch())
                quantities.append(match.captured(1).toInt());
    return quantities;
}

} // namespace

class TestPhoneOrdersPrint : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void aPhoneOrderPrintsByItself();
    void aGuestsOrderSaysSoAndIsNotPrintedWhenSwitchedOff();
    void fiftyOrdersFromTenPhonesPrintEachLineOnce();

private:
    RawReply order(int table, int quantity, const QByteArray& cookie);
    QString menuVersion();

    std::unique_ptr<TestHome> home_;
    QString folder_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<FakePrinter> printer_;
    std::unique_ptr<PrintSpooler> spooler_;
    std::unique_ptr<LanserveProcess> server_;
    QByteArray staff_;
    QString version_;
};

void TestPhoneOrdersPrint::init() {
    home_ = std::make_unique<TestHome>();
    folder_ = home_->path(QStringLiteral("data"));
    db_ = PrepareDataFolder(folder_);
    // Every table has its guest code before the server starts, as after the counter's login.
    SettingsStore settings(*db_);
    TableTokens::EnsureTokens(*db_, settings.tableKeys());
    printer_ = std::make_unique<FakePrinter>();
    Printer kitchen;
    kitchen.name = QStringLiteral("厨房");
    kitchen.address = printer_->address();
    PrinterStore(*db_).add(kitchen);
    Database& db = *db_;
    spooler_ = std::make_unique<PrintSpooler>([&db] { return db.connectAgain(); }, MakeRawTransport);
    spooler_->start();
    server_ = std::make_unique<LanserveProcess>(folder_);
    QVERIFY2(server_->start(), qPrintable(server_->error()));
    staff_ = SignIn(server_->port());
    QVERIFY(!staff_.isEmpty());
    version_ = menuVersion();
    QVERIFY(!version_.isEmpty());
}

void TestPhoneOrdersPrint::cleanup() {
    server_.reset();
    spooler_.reset();
    printer_.reset();
    db_.reset();
    home_.reset();
}

QString TestPhoneOrdersPrint::menuVersion() {
    const RawReply menu = Get(server_->port(), "/phone/menu.asp?c=0&t=0", staff_);
    static const QRegularExpression field(QStringLiteral("name=\"v\" value=\"([0-9a-f]+)\""));
    return field.match(QString::fromUtf8(menu.body)).captured(1);
}

RawReply TestPhoneOrdersPrint::order(int table, int quantity, const QByteArray& cookie) {
    OrderDesk reader(*db_);
    return PostForm(server_->port(), "/phone/savemenu.asp",
                    {{"t", QString::number(table)},
                     {"tn", reader.tables.tableName(table)},
                     {"c", "0"},
                     {"qty0", QString::number(quantity)},
                     {"v", version_}},
                    cookie);
}

void TestPhoneOrdersPrint::aPhoneOrderPrintsByItself() {
    OrderDesk reader(*db_);
    reader.menu.chooseCategory(kDishes);
    const QString dish = reader.menu.records().at(0).name;
    const QString table = reader.tables.tableName(1);
    QCOMPARE(order(1, 3, staff_).status, 303);
    QVERIFY(printer_->waitForPrints(1));
    const QString ticket = printer_->papers().first().lines.join(QLatin1Char('\n'));
    QVERIFY2(ticket.contains(QStringLiteral("桌号：") + table), qPrintable(ticket));
    QVERIFY(ticket.contains(dish));
    QVERIFY(ticket.contains(QStringLiteral("×3")));
    QVERIFY(ticket.contains(QStringLiteral("服务员")));
    QCOMPARE(printer_->papers().first().cuts, 1);
}

void TestPhoneOrdersPrint::aGuestsOrderSaysSoAndIsNotPrintedWhenSwitchedOff() {
    SettingsStore settings(*db_);
    const QStringList keys = settings.tableKeys();
    const QHash<QString, QString> tokens = TableTokens::EnsureTokens(*db_, keys);
    const QString token = tokens.value(keys.at(2));
    const auto guestOrder = [&] {
        const RawReply menu = Get(server_->port(), "/phone/menu.asp?c=0&t=" + token.toLatin1());
        static const QRegularExpression version(QStringLiteral("name=\"v\" value=\"([0-9a-f]+)\""));
        return PostForm(server_->port(), "/phone/savemenu.asp",
                        {{"t", token},
                         {"tn", settings.tableList().at(2)},
                         {"c", "0"},
                         {"qty0", "4"},
                         {"v", version.match(QString::fromUtf8(menu.body)).captured(1)}});
    };
    QCOMPARE(guestOrder().status, 303);
    QVERIFY(printer_->waitForPrints(1));
    const QString ticket = printer_->papers().first().lines.join(QLatin1Char('\n'));
    QVERIFY2(ticket.contains(QStringLiteral("顾客扫码")), qPrintable(ticket));
    QVERIFY(ticket.contains(QStringLiteral("桌号：") + settings.tableList().at(2)));
    QVERIFY(ticket.contains(QStringLiteral("×4")));

    // With 手机订单自动送厨 off, the order is stored and nothing is printed.
    PrinterStore(*db_).setPhoneOrdersToKitchen(false);
    QCOMPARE(guestOrder().status, 303);
    QVERIFY(JobStore(*db_).unfinishedByPrinter().isEmpty());
    QCOMPARE(JobStore(*db_).since(QDate::currentDate()).size(), 1);
}

void TestPhoneOrdersPrint::fiftyOrdersFromTenPhonesPrintEachLineOnce() {
    constexpr int kPhones = 10;
    constexpr int kOrdersEach = 5;
    const int tables = OrderDesk(*db_).tables.tableCount();
    QVERIFY(tables > 0);
    // Each order's quantity is its own, so every printed line tells which order it came from.
    std::vector<std::thread> phones;
    std::atomic<int> refused{0};
    for (int phone = 0; phone < kPhones; ++phone)
        phones.emplace_back([&, phone] {
            const ClientAddress from(QStringLiteral("127.0.0.%1").arg(phone + 2));
            const QByteArray cookie = SignIn(server_->port());
            for (int i = 0; i < kOrdersEach; ++i)
                if (order((phone + i) % tables, phone * kOrdersEach + i + 1, cookie).status != 303)
                    ++refused;
        });
    for (std::thread& phone : phones)
        phone.join();
    QCOMPARE(refused.load(), 0);
    QVERIFY(printer_->waitForPrints(kPhones * kOrdersEach, 20000));
    // Nothing more comes once the spooler has nothing left.
    for (int i = 0; i < 100 && !JobStore(*db_).unfinishedByPrinter().isEmpty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QVERIFY(JobStore(*db_).unfinishedByPrinter().isEmpty());
    QList<int> printed = PrintedQuantities(*printer_);
    std::sort(printed.begin(), printed.end());
    QList<int> expected;
    for (int i = 1; i <= kPhones * kOrdersEach; ++i)
        expected.append(i);
    QCOMPARE(printed, expected);
}

QTEST_GUILESS_MAIN(TestPhoneOrdersPrint)
#include "test_phone_orders_print.moc"
