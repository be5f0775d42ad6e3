// Phone orders through Lanserve on 127.0.0.1 reach a fake kitchen printer by themselves, through the
// counter's spooler: the ticket names the table, the lines and where the order came from, and orders
// from many phones at once print every line exactly once and whole, also while the printer cuts off every
// third connection.

#include "FakePrinter.h"
#include "lanserve/LanserveProcess.h"

#include "common/TestHome.h"
#include "desk/OrderDesk.h"
#include "mobile/TableTokens.h"
#include "print/JobStore.h"
#include "print/PrintSpooler.h"
#include "print/PrinterStore.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"

#include <QRegularExpression>
#include <QTest>
#include <thread>

namespace {

// Every "×N" quantity on a ticket.
QList<int> QuantitiesOn(const PrintedPaper& paper) {
    static const QRegularExpression quantity(QStringLiteral("×(\\d+)"));
    QList<int> quantities;
    for (const QString& line : paper.lines)
        if (const QRegularExpressionMatch match = quantity.match(line); match.hasMatch())
            quantities.append(match.captured(1).toInt());
    return quantities;
}

// Every "×N" quantity printed on the printer's tickets.
QList<int> PrintedQuantities(const FakePrinter& printer) {
    QList<int> quantities;
    for (const PrintedPaper& paper : printer.papers())
        quantities += QuantitiesOn(paper);
    return quantities;
}

// 1, 2, ... count.
QList<int> OneTo(int count) {
    QList<int> numbers;
    for (int i = 1; i <= count; ++i)
        numbers.append(i);
    return numbers;
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
    void fiftyOrdersPrintWholeOnceWhileThePrinterCutsEveryThirdConnection();

private:
    static constexpr int kPhones = 10;
    static constexpr int kOrdersEach = 5;
    // Ten phones place five orders each at once, order n for n portions; how many were refused.
    int orderFromTenPhones();
    RawReply order(int table, int quantity, const QByteArray& cookie);

    std::unique_ptr<TestHome> home_;
    QString folder_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<FakePrinter> printer_;
    std::unique_ptr<PrintSpooler> spooler_;
    std::unique_ptr<LanserveProcess> server_;
    QByteArray staff_;
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
    // Usual settings but quick retries: a printer that cuts connections is tried again at once.
    SpoolerOptions options;
    options.firstRetry = std::chrono::milliseconds(20);
    options.longestRetry = std::chrono::milliseconds(100);
    spooler_ = std::make_unique<PrintSpooler>([&db] { return db.connectAgain(); }, MakeRawTransport, options);
    spooler_->start();
    server_ = std::make_unique<LanserveProcess>(folder_);
    QVERIFY2(server_->start(), qPrintable(server_->error()));
    staff_ = SignIn(server_->port());
    QVERIFY(!staff_.isEmpty());
}

void TestPhoneOrdersPrint::cleanup() {
    server_.reset();
    spooler_.reset();
    printer_.reset();
    db_.reset();
    home_.reset();
}

RawReply TestPhoneOrdersPrint::order(int table, int quantity, const QByteArray& cookie) {
    OrderDesk reader(*db_);
    return PostForm(server_->port(), "/phone/savemenu.asp",
                    OrderFields(QString::number(table), reader.tables.tableName(table),
                                {{DishKeys(*db_, kDishes).at(0), QString::number(quantity)}}),
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
        return PostForm(
            server_->port(), "/phone/savemenu.asp",
            OrderFields(token, settings.tableList().at(2), {{DishKeys(*db_, kDishes).at(0), "4"}}));
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

int TestPhoneOrdersPrint::orderFromTenPhones() {
    const int tables = OrderDesk(*db_).tables.tableCount();
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
    return refused.load();
}

void TestPhoneOrdersPrint::fiftyOrdersFromTenPhonesPrintEachLineOnce() {
    QVERIFY(OrderDesk(*db_).tables.tableCount() > 0);
    QCOMPARE(orderFromTenPhones(), 0);
    QVERIFY(printer_->waitForPrints(kPhones * kOrdersEach, 20000));
    // Nothing more comes once the spooler has nothing left.
    for (int i = 0; i < 100 && !JobStore(*db_).unfinishedByPrinter().isEmpty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QVERIFY(JobStore(*db_).unfinishedByPrinter().isEmpty());
    QList<int> printed = PrintedQuantities(*printer_);
    std::sort(printed.begin(), printed.end());
    QCOMPARE(printed, OneTo(kPhones * kOrdersEach));
}

void TestPhoneOrdersPrint::fiftyOrdersPrintWholeOnceWhileThePrinterCutsEveryThirdConnection() {
    printer_->setFault(FakePrinter::Fault::Close, 100, 3, 0);
    QCOMPARE(orderFromTenPhones(), 0);
    for (int i = 0; i < 1000 && !JobStore(*db_).unfinishedByPrinter().isEmpty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QVERIFY(JobStore(*db_).unfinishedByPrinter().isEmpty());
    QList<int> whole;
    int cutOff = 0;
    int copies = 0;
    for (const PrintedPaper& paper : printer_->papers()) {
        if (paper.cuts == 0) {
            ++cutOff;
            continue;
        }
        whole += QuantitiesOn(paper);
        if (paper.lines.join(QString()).contains(QStringLiteral("补打")))
            ++copies;
    }
    // Every line once on a whole ticket; a copy only for a ticket that was cut off.
    std::sort(whole.begin(), whole.end());
    QCOMPARE(whole, OneTo(kPhones * kOrdersEach));
    QVERIFY(cutOff > 0);
    QCOMPARE(cutOff, printer_->faultsMet());
    QVERIFY2(copies <= cutOff, qPrintable(QStringLiteral("%1 copies, %2 cut off").arg(copies).arg(cutOff)));
}

QTEST_GUILESS_MAIN(TestPhoneOrdersPrint)
#include "test_phone_orders_print.moc"
