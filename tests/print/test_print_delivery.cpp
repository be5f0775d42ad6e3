// What counts as delivered, and how soon: a ticket a printer cut off, reset or stopped reading is not
// taken for printed and goes out again whole, marked 补打; a host that cannot be resolved says so; a job
// written by another connection, or to a printer that never answers status, goes out at once; closing
// does not wait for a CUPS that does not answer; and a printer renamed mid-send is never sent to over two
// connections at once.

#include "FakePrinter.h"
#include "OrderLines.h"
#include "SpoolerHelpers.h"

#include "bill/BillDocument.h"
#include "common/TestHome.h"
#include "desk/MenuChoice.h"
#include "print/JobStore.h"
#include "print/PrintQueue.h"
#include "print/PrintSpooler.h"
#include "print/PrinterStore.h"
#include "print/TcpTransport.h"
#include "store/Database.h"

#include <QElapsedTimer>
#include <QTest>
#include <atomic>

using std::chrono::milliseconds;

namespace {

// Raw transports whose network printers give up on a confirmation after `confirm`, and wait `status`
// for a status reply.
TransportFactory Transports(milliseconds confirm, milliseconds status = milliseconds(1500)) {
    return [confirm, status](const Printer& printer) -> std::unique_ptr<PrinterTransport> {
        const std::optional<PrinterAddress> address = PrinterAddress::Parse(printer.address);
        if (!address || address->kind != PrinterAddress::Kind::Tcp)
            return MakeRawTransport(printer);
        TcpTimeouts timeouts;
        timeouts.confirm = confirm;
        timeouts.status = status;
        return std::make_unique<TcpTransport>(address->host, address->port, timeouts);
    };
}

QList<OrderLine> Dishes() {
    return {Line(kDishes, QStringLiteral("宫保鸡丁")), Line(kDishes, QStringLiteral("鱼香肉丝")),
            Line(kDishes, QStringLiteral("米饭"))};
}

PrintJob OneTicket() {
    PrintJob job;
    job.kind = JobKind::Kitchen;
    job.printer = QStringLiteral("厨房");
    job.created = QDateTime::currentDateTime();
    job.lines = Dishes();
    return job;
}

} // namespace

Q_DECLARE_METATYPE(FakePrinter::Fault)

class TestPrintDelivery : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void aTicketCutOffGoesAgainWholeMarkedAsACopy_data();
    void aTicketCutOffGoesAgainWholeMarkedAsACopy();
    void aHostThatCannotBeResolvedSaysSo();
    void aPrinterThatNeverAnswersStatusGetsItsFirstTicketAtOnce();
    void aJobWrittenByAnotherConnectionGoesOutWithoutWaitingForThePoll();
    void closingDoesNotWaitForACupsThatDoesNotAnswer();
    void aPrinterRenamedMidSendGetsNoSecondConnection();

private:
    std::unique_ptr<PrintSpooler> startSpooler(TransportFactory transports,
                                               SpoolerOptions options = FastOptions());
    PrintJob onlyJob();

    std::unique_ptr<TestHome> home_;
    std::unique_ptr<Database> db_;
};

void TestPrintDelivery::init() {
    home_ = std::make_unique<TestHome>();
    db_ = home_->createDatabase();
}

void TestPrintDelivery::cleanup() {
    db_.reset();
    home_.reset();
}

std::unique_ptr<PrintSpooler> TestPrintDelivery::startSpooler(TransportFactory transports,
                                                              SpoolerOptions options) {
    Database& db = *db_;
    auto spooler =
        std::make_unique<PrintSpooler>([&db] { return db.connectAgain(); }, std::move(transports), options);
    spooler->start();
    return spooler;
}

PrintJob TestPrintDelivery::onlyJob() {
    const QList<PrintJob> jobs = JobStore(*db_).since(QDate::currentDate());
    return jobs.size() == 1 ? jobs.first() : PrintJob{};
}

void TestPrintDelivery::aTicketCutOffGoesAgainWholeMarkedAsACopy_data() {
    QTest::addColumn<FakePrinter::Fault>("fault");
    QTest::newRow("the printer stops reading") << FakePrinter::Fault::StopReading;
    QTest::newRow("it closes the connection") << FakePrinter::Fault::Close;
    QTest::newRow("it resets the connection") << FakePrinter::Fault::Reset;
}

void TestPrintDelivery::aTicketCutOffGoesAgainWholeMarkedAsACopy() {
    QFETCH(FakePrinter::Fault, fault);
    // A printer that never answers status: only the connection tells what it took.
    FakePrinter kitchen;
    kitchen.setFault(fault, 100);
    PrinterStore(*db_).add(NetworkPrinter(QStringLiteral("厨房"), kitchen));
    const auto spooler = startSpooler(Transports(milliseconds(300)));
    SendToKitchen(*db_, QStringLiteral("8号"), Dishes(), kSourceCounter, QDateTime::currentDateTime());
    spooler->wake();
    QVERIFY(kitchen.waitForPrints(2));
    QVERIFY(WaitUntil([&] { return onlyJob().state == JobState::Printed; }));
    const QList<PrintedPaper> papers = kitchen.papers();
    QCOMPARE(papers.size(), 2);
    QCOMPARE(papers.at(0).cuts, 0);
    QCOMPARE(papers.at(1).cuts, 1);
    const QString copy = Text(papers.at(1));
    QVERIFY2(copy.contains(QStringLiteral("补打")) && copy.contains(QStringLiteral("鱼香肉丝")),
             qPrintable(copy));
    QVERIFY(onlyJob().recovery);
}

void TestPrintDelivery::aHostThatCannotBeResolvedSaysSo() {
    Printer printer;
    printer.name = QStringLiteral("厨房");
    TcpTransport nowhere(QStringLiteral("no-such-printer.invalid"), 9100);
    QCOMPARE(nowhere.deliver(OneTicket(), printer, {}).trouble, QStringLiteral("地址无法解析"));
    FakePrinter off;
    off.switchOff();
    TcpTransport switchedOff(QStringLiteral("127.0.0.1"), off.port());
    const Delivery refused = switchedOff.deliver(OneTicket(), printer, {});
    QCOMPARE(refused.outcome, Delivery::Outcome::NotSent);
    QCOMPARE(refused.trouble, QStringLiteral("未连接"));
}

void TestPrintDelivery::aPrinterThatNeverAnswersStatusGetsItsFirstTicketAtOnce() {
    FakePrinter kitchen;
    PrinterStore(*db_).add(NetworkPrinter(QStringLiteral("厨房"), kitchen));
    // A status reply would be waited for a minute.
    const auto spooler = startSpooler(Transports(milliseconds(5000), std::chrono::minutes(1)));
    SendToKitchen(*db_, QStringLiteral("8号"), Dishes(), kSourceCounter, QDateTime::currentDateTime());
    spooler->wake();
    QVERIFY(kitchen.waitForPrints(1, 5000));
    QVERIFY(WaitUntil([&] { return onlyJob().state == JobState::Printed; }));
    QVERIFY(!Text(kitchen.papers().first()).contains(QStringLiteral("补打")));
}

void TestPrintDelivery::aJobWrittenByAnotherConnectionGoesOutWithoutWaitingForThePoll() {
    FakePrinter kitchen;
    PrinterStore(*db_).add(NetworkPrinter(QStringLiteral("厨房"), kitchen));
    SpoolerOptions options = FastOptions();
    options.poll = std::chrono::hours(1);
    options.serverPoll = std::chrono::hours(1);
    const auto spooler = startSpooler(MakeRawTransport, options);
    // The spooler has read the printers and waits.
    QVERIFY(WaitUntil([&] { return !spooler->states().isEmpty(); }));
    const std::unique_ptr<Database> phones = TestHome::openAsPhonePages(*db_);
    BillDocument bill(*phones);
    bill.openTable(0, QStringLiteral("1号"), QDateTime::currentDateTime());
    bill.runAsOneStep([&] {
        const QDateTime now = QDateTime::currentDateTime();
        const int at = bill.addItem(MenuRecordFrom(kDishes, QStringLiteral("米饭"), QStringLiteral("1"),
                                                   QStringLiteral("碗"), QStringLiteral("2"), QString()),
                                    now);
        SendPhoneOrderToKitchen(*phones, bill.header().tableName, {bill.lines().at(at)}, kSourceGuest, now);
    });
    QVERIFY(kitchen.waitForPrints(1, 5000));
    QVERIFY(Text(kitchen.papers().first()).contains(QStringLiteral("米饭")));
}

void TestPrintDelivery::closingDoesNotWaitForACupsThatDoesNotAnswer() {
    // A CUPS server that takes the request and never answers.
    auto cups = std::make_unique<FakePrinter>();
    cups->setFault(FakePrinter::Fault::StopReading, 1, 1, 0);
    qputenv("CUPS_SERVER", QStringLiteral("127.0.0.1:%1").arg(cups->port()).toUtf8());
    Printer queue;
    queue.name = QStringLiteral("厨房");
    queue.address = QStringLiteral("cups:POS80");
    PrinterStore(*db_).add(queue);
    auto spooler = startSpooler(MakeRawTransport);
    SendToKitchen(*db_, QStringLiteral("8号"), Dishes(), kSourceCounter, QDateTime::currentDateTime());
    spooler->wake();
    QVERIFY(WaitUntil([&] { return cups->faultsMet() > 0; }));

    std::atomic<bool> closed{false};
    QElapsedTimer closing;
    closing.start();
    std::thread closer([&] {
        spooler.reset();
        closed = true;
    });
    const bool quick = WaitUntil([&] { return closed.load(); }, 10000);
    const qint64 tookMs = closing.elapsed();
    // Whatever happened, the server goes (which ends any wait for it) before the check.
    cups.reset();
    closer.join();
    qunsetenv("CUPS_SERVER");
    QVERIFY2(quick && tookMs < 5000, qPrintable(QStringLiteral("closing took %1 ms").arg(tookMs)));
    QCOMPARE(onlyJob().state, JobState::Waiting);
}

void TestPrintDelivery::aPrinterRenamedMidSendGetsNoSecondConnection() {
    // The printer hangs on the first ticket: it prints it but never confirms it.
    FakePrinter kitchen(true);
    kitchen.setSilentAfterJob(true);
    PrinterStore(*db_).add(NetworkPrinter(QStringLiteral("厨房"), kitchen));
    const auto spooler = startSpooler(Transports(milliseconds(1000)));
    SendToKitchen(*db_, QStringLiteral("1号"), Dishes(), kSourceCounter, QDateTime::currentDateTime());
    spooler->wake();
    QVERIFY(WaitUntil([&] { return kitchen.holdsOpenTicket(); }));

    PrinterStore(*db_).change(QStringLiteral("厨房"), NetworkPrinter(QStringLiteral("后厨"), kitchen));
    SendToKitchen(*db_, QStringLiteral("2号"), Dishes(), kSourceCounter, QDateTime::currentDateTime());
    spooler->wake();
    // The second ticket waits for the first send to end, which gives up unconfirmed.
    const auto stateOf = [&](const char* id) { return JobStore(*db_).job(QString::fromLatin1(id))->state; };
    QVERIFY(WaitUntil([&] {
        return stateOf("000000000001") != JobState::Sending || stateOf("000000000002") != JobState::Waiting;
    }));
    QCOMPARE(kitchen.mostConnectionsAtOnce(), 1);
    kitchen.setSilentAfterJob(false);
    QVERIFY(kitchen.waitForPrints(3));
    QVERIFY(WaitUntil([&] { return JobStore(*db_).unfinishedByPrinter().isEmpty(); }));
    QCOMPARE(kitchen.mostConnectionsAtOnce(), 1);
    QCOMPARE(TicketNumbers(kitchen), (QList<int>{1, 1, 2}));
}

QTEST_GUILESS_MAIN(TestPrintDelivery)
#include "test_print_delivery.moc"
