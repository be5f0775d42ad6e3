// The windows over the printers, wired to fake printers on 127.0.0.1: 后厨打印 sends each printer its
// lines and says which lines no printer took, the main window says which printer keeps tickets waiting,
// 结账离开 opens the drawer where it is set, and the printers page stores what its form says.

#include "FakePrinter.h"
#include "common/MessageBoxes.h"
#include "common/PaymentAnswers.h"
#include "common/SignedInCounter.h"
#include "common/TestHome.h"

#include "bill/BillDocument.h"
#include "desk/MenuChoice.h"
#include "main/MainWindow.h"
#include "mobile/ServerControl.h"
#include "order/OrderWindow.h"
#include "print/JobStore.h"
#include "print/PrintQueue.h"
#include "print/PrinterStore.h"
#include "print/PrintersPage.h"
#include "print/TicketEncoder.h"
#include "store/Database.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

namespace {

struct Desk {
    TestHome home;
    std::unique_ptr<Database> db = home.createDatabase();
    DataFolders folders{home.path(QStringLiteral("d")), home.path(QStringLiteral("b"))};
    ServerControl server{home.path(QStringLiteral("bin")), folders.dataFolder};
    std::unique_ptr<SignedInCounter> counter;
    MainWindow* main = nullptr;

    void open() {
        counter = std::make_unique<SignedInCounter>(*db, folders, server);
        main = &counter->main;
        main->show();
    }
    void addPrinter(const QString& name, const FakePrinter& fake, const QStringList& categories,
                    bool drawer = false) {
        Printer printer;
        printer.name = name;
        printer.address = fake.address();
        printer.categories = categories;
        printer.drawer = drawer;
        PrinterStore(*db).add(printer);
    }
    OrderWindow* orderAt(int table) {
        main->openTable(table);
        return main->orderWindow();
    }
};

void Add(OrderWindow* window, const QString& category, const QString& name) {
    window->bill().addItem(MenuRecordFrom(category, name, QStringLiteral("1"), QStringLiteral("份"),
                                          QStringLiteral("10"), QString()),
                           QDateTime::currentDateTime());
}

void Click(QWidget* window, const char* name) {
    auto* button = window->findChild<QToolButton*>(QString::fromLatin1(name));
    QVERIFY(button);
    button->click();
}

QString Text(const FakePrinter& printer, int print) {
    return printer.papers().at(print).lines.join(QLatin1Char('\n'));
}

} // namespace

class TestPrinterWindows : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void kitchenButtonSendsEachPrinterItsLines();
    void mainWindowSaysWhichPrinterKeepsTicketsWaiting();
    void checkOutOpensTheDrawerWhereSet();
    void printersPageStoresItsForm();
    void printersPageWarnsOfSharedCategoriesAndNamesTheMarkOfUnprintableText();
};

void TestPrinterWindows::kitchenButtonSendsEachPrinterItsLines() {
    FakePrinter kitchen;
    FakePrinter bar;
    Desk desk;
    desk.addPrinter(QStringLiteral("厨房"), kitchen, {kDishes});
    desk.addPrinter(QStringLiteral("吧台"), bar, {kDrinks});
    desk.open();
    OrderWindow* window = desk.orderAt(0);
    Add(window, kDishes, QStringLiteral("宫保鸡丁"));
    Add(window, kDrinks, QStringLiteral("啤酒"));
    Add(window, kOthers, QStringLiteral("纸巾"));
    // Drinks carry no kitchen mark of their own: marked by hand, they go to the bar.
    for (int i = 0; i < window->bill().lines().size(); ++i)
        if (window->bill().lines().at(i).kitchenMark.isEmpty())
            window->bill().toggleKitchenMark(i);
    MessageBoxAnswerer answers;
    Click(window, "kitchenTicketButton");
    QTRY_COMPARE(answers.shown().size(), 1);
    QVERIFY2(answers.firstText().contains(QStringLiteral("纸巾")), qPrintable(answers.firstText()));
    QVERIFY(kitchen.waitForPrints(1));
    QVERIFY(bar.waitForPrints(1));
    QVERIFY(Text(kitchen, 0).contains(QStringLiteral("宫保鸡丁")) &&
            !Text(kitchen, 0).contains(QStringLiteral("啤酒")));
    QVERIFY(Text(bar, 0).contains(QStringLiteral("啤酒")) && !Text(bar, 0).contains(QStringLiteral("纸巾")));
    // The line no printer took is shown as not sent on the main window.
    QTRY_VERIFY(desk.main->findChild<QLabel*>(QStringLiteral("printerStatusLabel"))
                    ->text()
                    .contains(QStringLiteral("未送出")));
}

void TestPrinterWindows::mainWindowSaysWhichPrinterKeepsTicketsWaiting() {
    FakePrinter kitchen;
    kitchen.switchOff();
    Desk desk;
    desk.addPrinter(QStringLiteral("厨房"), kitchen, {});
    for (int i = 0; i < 3; ++i) {
        OrderLine line;
        line.category = kDishes;
        line.name = QStringLiteral("米饭");
        SendToKitchen(*desk.db, QStringLiteral("1号"), {line}, kSourceGuest, QDateTime::currentDateTime());
    }
    desk.open();
    auto* label = desk.main->findChild<QLabel*>(QStringLiteral("printerStatusLabel"));
    QVERIFY(label);
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("厨房打印机未连接，3 张待打印"), 10000);
    QVERIFY(label->isVisible());
    kitchen.switchOn();
    QTRY_VERIFY_WITH_TIMEOUT(!label->isVisible(), 20000);
    QCOMPARE(kitchen.printCount(), 3);
}

void TestPrinterWindows::checkOutOpensTheDrawerWhereSet() {
    FakePrinter front;
    Desk desk;
    desk.addPrinter(QStringLiteral("前台"), front, {}, true);
    desk.open();
    OrderWindow* window = desk.orderAt(1);
    Add(window, kDrinks, QStringLiteral("可乐"));
    const PaymentAnswerer paying;
    Click(window, "checkOutButton");
    QVERIFY(front.waitForPrints(1));
    QCOMPARE(front.papers().first().drawerPulses, 1);
}

void TestPrinterWindows::printersPageStoresItsForm() {
    TestHome home;
    auto db = home.createDatabase();
    PrintersPage page(*db);
    page.findChild<QLineEdit*>(QStringLiteral("printerNameBox"))->setText(QStringLiteral("吧台"));
    page.findChild<QLineEdit*>(QStringLiteral("printerAddressBox"))
        ->setText(QStringLiteral("tcp://10.0.0.7:9100"));
    page.findChild<QComboBox*>(QStringLiteral("paperBox"))->setCurrentText(QStringLiteral("58"));
    page.findChild<QCheckBox*>(QStringLiteral("categoryBox_") + kDrinks)->setChecked(true);
    page.addPrinter();
    const std::optional<Printer> stored = PrinterStore(*db).find(QStringLiteral("吧台"));
    QVERIFY(stored);
    QCOMPARE(stored->paperMm, 58);
    QCOMPARE(stored->categories, QStringList{kDrinks});
    QVERIFY(stored->kitchen && !stored->bills && stored->enabled);
    QCOMPARE(page.printerTable()->rowCount(), 1);

    // A bad address is refused with the reason and changes nothing.
    page.printerTable()->selectRow(0);
    page.findChild<QLineEdit*>(QStringLiteral("printerAddressBox"))->setText(QStringLiteral("10.0.0.7"));
    {
        MessageBoxAnswerer answers;
        page.changePrinter();
        QVERIFY(answers.firstText().contains(QStringLiteral("地址")));
    }
    QCOMPARE(PrinterStore(*db).find(QStringLiteral("吧台"))->address, QStringLiteral("tcp://10.0.0.7:9100"));

    page.findChild<QLineEdit*>(QStringLiteral("printerAddressBox"))->setText(QStringLiteral("cups:POS58"));
    page.changePrinter();
    QCOMPARE(PrinterStore(*db).find(QStringLiteral("吧台"))->address, QStringLiteral("cups:POS58"));

    page.printTestPage();
    QCOMPARE(JobStore(*db).unfinishedByPrinter().value(QStringLiteral("吧台")), 1);
    QCOMPARE(page.jobTable()->rowCount(), 1);

    page.findChild<QCheckBox*>(QStringLiteral("phoneOrdersBox"))->click();
    QVERIFY(!PrinterStore(*db).phoneOrdersToKitchen());

    {
        MessageBoxAnswerer answers({QMessageBox::Yes});
        page.removePrinter();
        QVERIFY(answers.firstText().contains(QStringLiteral("1 张待打印")));
    }
    QVERIFY(PrinterStore(*db).all().isEmpty());
    QCOMPARE(page.printerTable()->rowCount(), 0);

    // The day's list says what each ticket holds and what became of it; 重打 sends lines no printer took
    // once one takes them.
    OrderLine cola;
    cola.category = kDrinks;
    cola.name = QStringLiteral("可乐");
    cola.quantity = QStringLiteral("2");
    cola.unit = QStringLiteral("瓶");
    SendToKitchen(*db, QStringLiteral("大厅001"), {cola}, kSourceCounter, QDateTime::currentDateTime());
    page.refresh();
    QCOMPARE(page.jobTable()->item(0, 5)->text(), QStringLiteral("可乐 ×2瓶"));
    QCOMPARE(page.jobTable()->item(0, 6)->text(), QStringLiteral("未送出"));
    QCOMPARE(page.jobTable()->item(1, 6)->text(), QStringLiteral("失败"));
    Printer bar;
    bar.name = QStringLiteral("吧台");
    bar.address = QStringLiteral("tcp://127.0.0.1:9");
    bar.categories = {kDrinks};
    PrinterStore(*db).add(bar);
    page.refresh();
    page.jobTable()->selectRow(0);
    page.reprintJob();
    QCOMPARE(page.jobTable()->item(0, 1)->text(), QStringLiteral("吧台"));
    QCOMPARE(page.jobTable()->item(0, 6)->text(), QStringLiteral("等待"));
}

void TestPrinterWindows::printersPageWarnsOfSharedCategoriesAndNamesTheMarkOfUnprintableText() {
    TestHome home;
    auto db = home.createDatabase();
    Printer hot;
    hot.name = QStringLiteral("热菜");
    hot.address = QStringLiteral("tcp://10.0.0.7:9100");
    hot.categories = {kDishes};
    PrinterStore(*db).add(hot);
    PrintersPage page(*db);
    auto* warning = page.findChild<QLabel*>(QStringLiteral("sharedCategoriesWarning"));
    QVERIFY(warning && warning->isHidden());

    Printer cold = hot;
    cold.name = QStringLiteral("凉菜");
    PrinterStore(*db).add(cold);
    page.refresh();
    QVERIFY(!warning->isHidden());
    QVERIFY2(warning->text().contains(QStringLiteral("凉菜、热菜都接收“菜品”")), qPrintable(warning->text()));

    // The page names the mark, and the test page prints it where its sample characters were.
    QVERIFY(
        page.findChild<QLabel*>(QStringLiteral("unprintableNotice"))->text().contains(QStringLiteral("□")));
    const QStringList testPage = DecodeEscPos(EncodeTestPage(hot, QDateTime::currentDateTime())).lines;
    QVERIFY(testPage.join(QLatin1Char('\n')).contains(QStringLiteral("□”：□□□")));
}

QTEST_MAIN(TestPrinterWindows)
#include "test_printer_windows.moc"
