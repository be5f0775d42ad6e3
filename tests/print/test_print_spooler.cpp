// The spooler against fake printers on 127.0.0.1: tickets reach the printers of their categories, wait
// while a printer is down and go out once, in order, when it answers; a counter killed with SIGKILL
// leaves no ticket behind and prints twice only the one it was sending, marked 补打; the drawer opens
// only where it is set.

#include "FakePrinter.h"
#include "OrderLines.h"
#include "SpoolerHelpers.h"

#include "common/TestHome.h"
#include "print/JobStore.h"
#include "print/PrintQueue.h"
#include "print/PrintSpooler.h"
#include "print/PrinterStore.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"

#include <QProcess>
#include <QTest>
#include <csignal>
#include <thread>

using std::chrono::milliseconds;

class TestPrintSpooler : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void linesReachThePrintersOfTheirCategories();
    void ticketsWaitWhileThePrinterIsDownThenPrintOnceInOrder();
    void paperOutIsShownAndNothingIsLost();
    void jobsLeftByAKilledCounterPrintAfterTheRestart();
    void drawerOpensOnlyWhereSet();
    void reprintMakesAMarkedCopy();

private:
    std::unique_ptr<PrintSpooler> startSpooler();

    std::unique_ptr<TestHome> home_;
    QString path_;
    std::unique_ptr<Database> db_;
};

void TestPrintSpooler::init() {
    home_ = std::make_unique<TestHome>();
    db_ = home_->createDatabase();
    path_ = db_->path();
}

void TestPrintSpooler::cleanup() {
    db_.reset();
    home_.reset();
}

std::unique_ptr<PrintSpooler> TestPrintSpooler::startSpooler() {
    const QString path = path_;
    auto spooler = std::make_unique<PrintSpooler>(
        [path] { return std::make_unique<Database>(path, DatabasePassword()); }, MakeRawTransport,
        FastOptions());
    spooler->start();
    return spooler;
}

void TestPrintSpooler::linesReachThePrintersOfTheirCategories() {
    FakePrinter kitchen;
    FakePrinter bar;
    PrinterStore(*db_).add(NetworkPrinter(QStringLiteral("厨房"), kitchen, {kDishes}));
    PrinterStore(*db_).add(NetworkPrinter(QStringLiteral("吧台"), bar, {kDrinks}));
    const auto spooler = startSpooler();
    SendToKitchen(*db_, QStringLiteral("8号"),
                  {Line(kDishes, QStringLiteral("宫保鸡丁")), Line(kDrinks, QStringLiteral("可乐")),
                   Line(kDishes, QStringLiteral("米饭"))},
                  kSourceCounter, QDateTime::currentDateTime());
    spooler->wake();
    QVERIFY(kitchen.waitForPrints(1));
    QVERIFY(bar.waitForPrints(1));
    const QString kitchenText = Text(kitchen.papers().first());
    const QString barText = Text(bar.papers().first());
    QVERIFY(kitchenText.contains(QStringLiteral("桌号：8号")));
    QVERIFY(kitchenText.contains(QStringLiteral("宫保鸡丁")) && kitchenText.contains(QStringLiteral("米饭")));
    QVERIFY(!kitchenText.contains(QStringLiteral("可乐")));
    QVERIFY(barText.contains(QStringLiteral("可乐")) && !barText.contains(QStringLiteral("米饭")));
    QVERIFY(kitchenText.contains(QStringLiteral("收银台")));
    QVERIFY(WaitUntil([&] { return JobStore(*db_).unfinishedByPrinter().isEmpty(); }));
}

void TestPrintSpooler::ticketsWaitWhileThePrinterIsDownThenPrintOnceInOrder() {
    FakePrinter kitchen;
    kitchen.switchOff();
    PrinterStore(*db_).add(NetworkPrinter(QStringLiteral("厨房"), kitchen));
    const auto spooler = startSpooler();
    constexpr int kTickets = 5;
    for (int i = 0; i < kTickets; ++i)
        SendToKitchen(*db_, QStringLiteral("%1号").arg(i + 1), {Line(kDishes, QStringLiteral("米饭"))},
                      kSourceGuest, QDateTime::currentDateTime());
    QVERIFY(WaitUntil([&] {
        return PrinterTroubleText(spooler->states()) == QStringLiteral("厨房打印机未连接，5 张待打印");
    }));
    // Down for a while: the spooler keeps trying, many times over at this retry pause.
    std::this_thread::sleep_for(milliseconds(600));
    QCOMPARE(kitchen.printCount(), 0);
    kitchen.switchOn();
    QVERIFY(kitchen.waitForPrints(kTickets));
    QVERIFY(WaitUntil([&] { return PrinterTroubleText(spooler->states()).isEmpty(); }));
    QCOMPARE(TicketNumbers(kitchen), (QList<int>{1, 2, 3, 4, 5}));
    for (const PrintedPaper& paper : kitchen.papers())
        QVERIFY(!Text(paper).contains(QStringLiteral("补打")));
    QVERIFY(WaitUntil([&] { return JobStore(*db_).unfinishedByPrinter().isEmpty(); }));
    QCOMPARE(kitchen.printCount(), kTickets);
}

void TestPrintSpooler::paperOutIsShownAndNothingIsLost() {
    FakePrinter kitchen(true);
    kitchen.setPaperOut(true);
    PrinterStore(*db_).add(NetworkPrinter(QStringLiteral("厨房"), kitchen));
    const auto spooler = startSpooler();
    SendToKitchen(*db_, QStringLiteral("1号"), {Line(kDishes, QStringLiteral("米饭"))}, kSourceCounter,
                  QDateTime::currentDateTime());
    QVERIFY(WaitUntil([&] {
        return PrinterTroubleText(spooler->states()) == QStringLiteral("厨房打印机缺纸，1 张待打印");
    }));
    QCOMPARE(kitchen.printCount(), 0);
    kitchen.setPaperOut(false);
    QVERIFY(kitchen.waitForPrints(1));
    QVERIFY(WaitUntil([&] { return JobStore(*db_).unfinishedByPrinter().isEmpty(); }));
    QCOMPARE(kitchen.printCount(), 1);
}

void TestPrintSpooler::jobsLeftByAKilledCounterPrintAfterTheRestart() {
    const QByteArray driver = qgetenv("CJ_PRINT_DRIVER");
    QVERIFY(!driver.isEmpty());
    // The printer takes the first ticket but never confirms it, so the counter dies while sending it.
    FakePrinter kitchen(true);
    kitchen.setSilentAfterJob(true);
    PrinterStore(*db_).add(NetworkPrinter(QStringLiteral("厨房"), kitchen));
    for (int i = 0; i < 3; ++i)
        SendToKitchen(*db_, QStringLiteral("%1号").arg(i + 1), {Line(kDishes, QStringLiteral("米饭"))},
                      kSourceGuest, QDateTime::currentDateTime());
    QProcess counter;
    counter.start(QString::fromLocal8Bit(driver), {path_});
    QVERIFY(counter.waitForStarted());
    QVERIFY(WaitUntil([&] { return kitchen.holdsOpenTicket(); }));
    const std::optional<PrintJob> first = JobStore(*db_).job(QStringLiteral("000000000001"));
    QCOMPARE(first->state, JobState::Sending);
    ::kill(static_cast<pid_t>(counter.processId()), SIGKILL);
    QVERIFY(counter.waitForFinished(5000));
    // The printer printed the first ticket as it came, without confirming it.
    QVERIFY(kitchen.waitForPrints(1));

    kitchen.setSilentAfterJob(false);
    const auto spooler = startSpooler();
    QVERIFY(kitchen.waitForPrints(4));
    QVERIFY(WaitUntil([&] { return JobStore(*db_).unfinishedByPrinter().isEmpty(); }));
    QCOMPARE(TicketNumbers(kitchen), (QList<int>{1, 1, 2, 3}));
    const QList<PrintedPaper> papers = kitchen.papers();
    QVERIFY(!Text(papers.at(0)).contains(QStringLiteral("补打")));
    QVERIFY(Text(papers.at(1)).contains(QStringLiteral("补打")));
    QVERIFY(!Text(papers.at(2)).contains(QStringLiteral("补打")));
    QVERIFY(!Text(papers.at(3)).contains(QStringLiteral("补打")));
}

void TestPrintSpooler::drawerOpensOnlyWhereSet() {
    FakePrinter front;
    FakePrinter kitchen;
    Printer frontDesk = NetworkPrinter(QStringLiteral("前台"), front);
    frontDesk.kitchen = false;
    frontDesk.bills = true;
    frontDesk.drawer = true;
    PrinterStore(*db_).add(frontDesk);
    PrinterStore(*db_).add(NetworkPrinter(QStringLiteral("厨房"), kitchen));
    const auto spooler = startSpooler();
    QCOMPARE(OpenCashDrawers(*db_, QDateTime::currentDateTime()), 1);
    QVERIFY(front.waitForPrints(1));
    QCOMPARE(front.papers().first().drawerPulses, 1);
    QVERIFY(front.papers().first().lines.isEmpty());
    QVERIFY(WaitUntil([&] { return JobStore(*db_).unfinishedByPrinter().isEmpty(); }));
    QCOMPARE(kitchen.printCount(), 0);

    // Without a printer set for it, checking out opens nothing.
    frontDesk.drawer = false;
    PrinterStore(*db_).change(QStringLiteral("前台"), frontDesk);
    QCOMPARE(OpenCashDrawers(*db_, QDateTime::currentDateTime()), 0);
}

void TestPrintSpooler::reprintMakesAMarkedCopy() {
    FakePrinter kitchen;
    PrinterStore(*db_).add(NetworkPrinter(QStringLiteral("厨房"), kitchen));
    const auto spooler = startSpooler();
    SendToKitchen(*db_, QStringLiteral("5号"), {Line(kDishes, QStringLiteral("米饭"))}, kSourceCounter,
                  QDateTime::currentDateTime());
    QVERIFY(kitchen.waitForPrints(1));
    JobStore(*db_).reprint(QStringLiteral("000000000001"), QDateTime::currentDateTime());
    spooler->wake();
    QVERIFY(kitchen.waitForPrints(2));
    QCOMPARE(TicketNumbers(kitchen), (QList<int>{1, 1}));
    QVERIFY(Text(kitchen.papers().at(1)).contains(QStringLiteral("重打")));
}

QTEST_GUILESS_MAIN(TestPrintSpooler)
#include "test_print_spooler.moc"
