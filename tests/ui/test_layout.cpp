// Every window of the program, filled with the largest content a busy restaurant gives it, shows each
// text whole: labels, buttons, line edits and grid cells against their room, and no grid row cut at the
// bottom. ctest runs it at scale 1 and again with QT_SCALE_FACTOR=1.5. CJ_LAYOUT_SHOTS=FOLDER keeps a
// picture of every window checked.

#include "TextFit.h"
#include "WindowFit.h"
#include "common/MessageBoxes.h"
#include "common/SignedInCounter.h"
#include "common/TestHome.h"
#include "stats/StatsTestData.h"

#include "app/LoginWindow.h"
#include "app/ProgramSetup.h"
#include "bill/BillDocument.h"
#include "bill/Payments.h"
#include "desk/MenuChoice.h"
#include "desk/TableMap.h"
#include "main/HandoverWindow.h"
#include "main/MainWindow.h"
#include "main/MergeWindow.h"
#include "main/SplitWindow.h"
#include "main/TransferWindow.h"
#include "menu/DishDialog.h"
#include "menu/MenuCatalogue.h"
#include "menu/MenuWindow.h"
#include "mobile/MobileWindow.h"
#include "mobile/ServerControl.h"
#include "mobile/ServicePages.h"
#include "order/OrderWindow.h"
#include "order/PaymentDialog.h"
#include "print/BillPreviewWindow.h"
#include "print/PrintQueue.h"
#include "print/PrinterStore.h"
#include "print/PrintersPage.h"
#include "settings/DiningTables.h"
#include "settings/Password.h"
#include "settings/PaymentMethodsWindow.h"
#include "settings/SettingsStore.h"
#include "settings/SettingsWindow.h"
#include "settings/StaffAccounts.h"
#include "settings/StaffWindow.h"
#include "settings/TableDialog.h"
#include "settings/TrailWindow.h"
#include "stats/ItemSalesWindow.h"
#include "stats/StatsDates.h"
#include "stats/TurnoverWindow.h"
#include "store/ActionTrail.h"
#include "store/Database.h"
#include "store/Ids.h"
#include "ui/AboutBox.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QtTest>

namespace {

// Every long name the test has made, for the text check's exception.
QStringList& LongNames() {
    static QStringList names;
    return names;
}

// A name as long as its column takes: 50 characters for tables, customers and remarks.
QString LongName(const QString& start, int length = 50) {
    static const QString filler = QStringLiteral("满汉全席特色招牌秘制红烧清蒸香辣干锅铁板石锅砂锅");
    QString name = start;
    while (name.size() < length)
        name += filler.at(name.size() % filler.size());
    LongNames().append(name);
    return name;
}

// A dish name and its initials share 50 characters.
constexpr int kDishNameLength = 45;

// The largest amount a bill's column takes: ten characters.
const QString kLargeAmount = QStringLiteral("9999999.99");

// A busy restaurant's day; three years of it make totals of twelve digits.
constexpr int kBillsPerDay = 91;

// The window's last pixel row is its plain background: no strip of a child or a cut row along the edge.
bool BottomEdgeIsPlain(QWidget* window) {
    const QImage picture = window->grab().toImage();
    const int bottom = picture.height() - 1;
    const QRgb background = window->palette().color(QPalette::Window).rgb();
    for (int x = 0; x < picture.width(); ++x)
        if (picture.pixel(x, bottom) != background)
            return false;
    return true;
}

QDate Today() {
    return QDate::currentDate();
}

} // namespace

class LayoutTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void loginWindow();
    void mainWindowWithFortyFiveTables();
    void orderingWindowAndBillPreview();
    void transferWindowBeforeAndAfterTheChoice();
    void splitAndMergeWindows();
    void menuWindowAndDishDialog();
    void settingsWindowAndTableDialog();
    void printersPageOfFourPrinters();
    void turnoverOfThreeYears();
    void itemSalesOfSixteenAndSeventeenRows_data();
    void itemSalesOfSixteenAndSeventeenRows();
    void mobileOrderingWindow();
    void actionTrailOfAWeek();
    void paymentHandoverAndStaffWindows();
    void aboutBox();
    void messageBoxes_data();
    void messageBoxes();

private:
    // Shows the window, lets its layout settle and fails with every text it hides.
    void expectWhole(QWidget* window, const QString& picture);
    void fillDatabase();

    TestHome home_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<SettingsStore> settings_;
    QString shots_;
};

void LayoutTest::initTestCase() {
    SetUpProgramApplication(static_cast<QApplication&>(*QCoreApplication::instance()));
    shots_ = qEnvironmentVariable("CJ_LAYOUT_SHOTS");
    if (!shots_.isEmpty())
        QDir().mkpath(shots_);
    db_ = home_.createDatabase();
    fillDatabase();
    settings_ = std::make_unique<SettingsStore>(*db_);
}

void LayoutTest::cleanup() {
    for (QWidget* window : QApplication::topLevelWidgets())
        window->hide();
}

void LayoutTest::fillDatabase() {
    // 45 tables, every name as long as the column takes.
    DiningTables tables(*db_);
    SettingsStore store(*db_);
    const QStringList keys = store.tableKeys();
    for (int i = 0; i < 45; ++i) {
        const QString key = i < keys.size() ? keys.at(i) : tables.newKey(QDateTime::currentDateTime());
        QCOMPARE(tables.save(key, LongName(QStringLiteral("%1号").arg(i + 1))),
                 DiningTables::SaveResult::Saved);
    }
    store.setRestaurantName(LongName(QStringLiteral("澄槿")));
    store.setAddress(LongName(QStringLiteral("河西路")));
    store.setPhone(QStringLiteral("0731-88888888"));
    QVERIFY(store.saveDetails());

    MenuCatalogue menu(*db_);
    // Dishes priced so that the 25 lines of one bill add up to the largest bill; the last at the
    // largest price.
    for (int i = 0; i < 30; ++i) {
        const QString key = menu.newKey(QDateTime::currentDateTime());
        menu.save(key, QStringLiteral("菜品"),
                  {LongName(QStringLiteral("菜%1").arg(i), kDishNameLength), QStringLiteral("1"),
                   QStringLiteral("份"), i == 29 ? kLargeAmount : QStringLiteral("399999.99"),
                   QStringLiteral("mhqx"), LongName(QStringLiteral("备注"))});
    }

    // Three years of a busy restaurant, every bill at the largest amounts its columns take: the totals
    // reach twelve digits and two decimals.
    Transaction step(*db_);
    int bills = 0;
    for (QDate day = Today().addYears(-3); day <= Today(); day = day.addDays(1)) {
        for (int i = 0; i < kBillsPerDay; ++i, ++bills)
            AddBill(*db_,
                    day.toString(QStringLiteral("yyyyMMdd")) +
                        QStringLiteral("%1").arg(i, 6, 10, QLatin1Char('0')),
                    DateText(day),
                    {QStringLiteral("9123456.78"), QStringLiteral("8123456.78"), QStringLiteral("7123456.78"),
                     QStringLiteral("9999999.99"), QStringLiteral("9876543.21"),
                     QStringLiteral("123456.78")});
    }
    // This month's sales: 15 other goods (16 rows with 合计) and 16 drinks (17 rows), each sold often
    // enough for eleven-digit totals, and twelve digits in 合计.
    const QString today = DateText(Today());
    for (int item = 0; item < 16; ++item) {
        for (int line = 0; line < 100; ++line) {
            if (item < 15)
                AddLine(*db_, today, LongName(QStringLiteral("其他%1").arg(item), kDishNameLength),
                        QStringLiteral("其他"), QStringLiteral("99999.5"), QStringLiteral("份"),
                        QStringLiteral("600000000"));
            AddLine(*db_, today, LongName(QStringLiteral("酒%1").arg(item), kDishNameLength),
                    QStringLiteral("酒水"), QStringLiteral("99999.5"), QStringLiteral("瓶"),
                    QStringLiteral("600000000"));
        }
    }
    step.commit();
    QVERIFY(bills > 3 * 365 * kBillsPerDay);
}

void LayoutTest::expectWhole(QWidget* window, const QString& picture) {
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QApplication::processEvents();
    if (!shots_.isEmpty())
        window->grab().save(QStringLiteral("%1/%2.png").arg(shots_, picture));
    const QStringList hidden = HiddenText(window, LongNames());
    for (const QString& finding : hidden)
        qWarning().noquote() << picture << finding;
    QVERIFY2(hidden.isEmpty(),
             qPrintable(QStringLiteral("%1 texts or rows hidden in %2").arg(hidden.size()).arg(picture)));
    const QStringList unreachable = OutOfReach(window);
    for (const QString& finding : unreachable)
        qWarning().noquote() << picture << finding;
    QVERIFY2(unreachable.isEmpty(), qPrintable(QStringLiteral("%1 does not fit the screen").arg(picture)));
}

void LayoutTest::loginWindow() {
    LoginWindow factory(QStringLiteral("739"));
    expectWhole(&factory, QStringLiteral("login"));
    LoginWindow changed(QStringLiteral("8888"));
    changed.passwordBox()->setText(QStringLiteral("12345678901234567890"));
    expectWhole(&changed, QStringLiteral("login-masked"));
}

void LayoutTest::mainWindowWithFortyFiveTables() {
    const DataFolders folders{home_.path(QStringLiteral("d")), home_.path(QStringLiteral("b"))};
    ServerControl server(home_.path(QStringLiteral("bin")), folders.dataFolder);
    SignedInCounter counter(*db_, folders, server);
    MainWindow& main = counter.main;
    main.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    expectWhole(&main, QStringLiteral("main"));
    // Two printer troubles at once share the notice in the toolbar band.
    auto* printers = main.findChild<QLabel*>(QStringLiteral("printerStatusLabel"));
    printers->setText(
        QStringLiteral("厨房打印机未连接，3 张待打印；今日 2 张单子有菜品没有打印机接收，未送出"));
    printers->show();
    expectWhole(&main, QStringLiteral("main-printer-troubles"));
}

void LayoutTest::orderingWindowAndBillPreview() {
    OrderWindow window(*db_, *settings_);
    window.bill().openTable(0, settings_->tableList().at(0), QDateTime::currentDateTime());
    window.menu().chooseCategory(QStringLiteral("菜品"));
    for (int i = 0; i < 25; ++i)
        window.bill().addItem(window.menu().records().at(i), QDateTime::currentDateTime());
    for (const char* name : {"customerNameEdit", "remarkEdit"})
        window.findChild<QLineEdit*>(QString::fromLatin1(name))->setText(LongName(QStringLiteral("张")));
    window.findChild<QLineEdit*>(QStringLiteral("phoneEdit"))->setText(QStringLiteral("13912345678"));
    window.findChild<QLineEdit*>(QStringLiteral("discountEdit"))->setText(QStringLiteral("0.95"));
    window.findChild<QLineEdit*>(QStringLiteral("creditEdit"))->setText(kLargeAmount);
    window.findChild<QLineEdit*>(QStringLiteral("guestsEdit"))->setText(QStringLiteral("999"));
    expectWhole(&window, QStringLiteral("order"));
    QVERIFY(BottomEdgeIsPlain(&window));
    // A reopened paid bill lists its payments after 人数.
    auto* payments = window.findChild<QLabel*>(QStringLiteral("paymentsLabel"));
    payments->setText(QStringLiteral("已收：现金 9999999.99（找零 99.99），微信 9999999.99"));
    payments->show();
    expectWhole(&window, QStringLiteral("order-paid"));
    payments->hide();

    const BillData bill = MakeBillData(*settings_, settings_->tableList().at(0), window.bill().lines(),
                                       window.bill().header().receivable, window.bill().header().received);
    BillPreviewWindow preview(bill);
    expectWhole(&preview, QStringLiteral("bill-preview"));
    // A long dish name stays in its column, clear of 数量 and 金额.
    const QStringList overlapping = OverlappingTexts(preview.document());
    for (const QString& finding : overlapping)
        qWarning().noquote() << "bill-preview" << finding;
    QVERIFY(overlapping.isEmpty());
}

void LayoutTest::transferWindowBeforeAndAfterTheChoice() {
    TableMap tables(*db_, *settings_);
    tables.selectTile(44);
    TransferWindow window(tables);
    expectWhole(&window, QStringLiteral("transfer"));
    const QSize closed = window.size();
    window.findChild<QPushButton*>(QStringLiteral("dropDownButton"))->click();
    expectWhole(&window, QStringLiteral("transfer-list"));
    QCOMPARE(window.width(), closed.width());
    window.chooseTarget(43);
    expectWhole(&window, QStringLiteral("transfer-chosen"));
    QVERIFY(BottomEdgeIsPlain(&window));
    // Choosing closes the list and gives the window back its size; it never shrinks below it.
    QCOMPARE(window.size(), closed);
}

void LayoutTest::splitAndMergeWindows() {
    // Tables 44 and 45 hold bills with the longest dish name, at the largest amounts.
    BillStore store(*db_);
    for (const int table : {43, 44}) {
        Transaction step(*db_);
        BillHeader bill;
        bill.billId = QStringLiteral("2024121212%1").arg(table, 4, 10, QLatin1Char('0'));
        bill.openedText = QStringLiteral("2024-12-12 12:00");
        bill.receivable = kLargeAmount;
        store.writeHeader(bill, true);
        store.addLine(bill.billId, QStringLiteral("2024-12-12"),
                      {QStringLiteral("菜品"), LongName(QStringLiteral("拆%1").arg(table), kDishNameLength),
                       QStringLiteral("1"), QStringLiteral("份"), kLargeAmount, kLargeAmount, QString(),
                       QString(), bill.billId + QStringLiteral("0"), QStringLiteral("1000"), QString()});
        store.writeSlot(table, bill.billId);
        step.commit();
    }
    TableMap tables(*db_, *settings_);
    tables.refreshSlots();
    tables.selectTile(44);
    SplitWindow split(*db_, tables);
    split.setMoving(0, QStringLiteral("0.5"));
    expectWhole(&split, QStringLiteral("split"));
    MergeWindow merge(tables);
    QVERIFY(merge.tick(43));
    expectWhole(&merge, QStringLiteral("merge"));
    for (const int table : {43, 44})
        store.writeSlot(table, QString());
}

void LayoutTest::menuWindowAndDishDialog() {
    MenuWindow window(*db_);
    expectWhole(&window, QStringLiteral("menu"));
    window.selectRow(0);
    window.modifyItem();
    QVERIFY(window.dishDialog()->isVisible());
    expectWhole(window.dishDialog(), QStringLiteral("dish"));
}

void LayoutTest::settingsWindowAndTableDialog() {
    SettingsWindow window(*db_, *settings_, [] {});
    expectWhole(&window, QStringLiteral("settings"));
    window.tableDialog()->openFor(settings_->tableKeys().at(0), settings_->tableList().at(0));
    expectWhole(window.tableDialog(), QStringLiteral("table"));
}

void LayoutTest::printersPageOfFourPrinters() {
    PrinterStore printers(*db_);
    const QList<Printer> four{
        {QStringLiteral("厨房"),
         QStringLiteral("tcp://192.168.100.200:9100"),
         80,
         true,
         false,
         {QStringLiteral("菜品")},
         false,
         true},
        {QStringLiteral("吧台"),
         QStringLiteral("usb:/dev/usb/lp0"),
         58,
         true,
         false,
         {QStringLiteral("酒水")},
         false,
         true},
        {QStringLiteral("凉菜间"),
         QStringLiteral("cups:凉菜间热敏打印机"),
         80,
         true,
         false,
         {},
         false,
         false},
        {QStringLiteral("前台"), QStringLiteral("system"), 80, false, true, {}, true, true}};
    for (const Printer& printer : four) {
        printers.add(printer);
        QueueTestPage(*db_, printer.name, QDateTime::currentDateTime());
    }
    PrintersPage page(*db_);
    expectWhole(&page, QStringLiteral("printers"));
    // Every column, 启用 and 说明 too, is in view without scrolling sideways.
    for (const char* name : {"printerTable", "jobTable"})
        QCOMPARE(page.findChild<QTableView*>(QString::fromLatin1(name))->horizontalScrollBar()->maximum(), 0);
    for (const Printer& printer : four)
        printers.remove(printer.name);
}

void LayoutTest::turnoverOfThreeYears() {
    TurnoverWindow window(*db_);
    window.startBox()->setText(DateText(Today().addYears(-3)));
    QSignalSpy computed(&window, &TurnoverWindow::computed);
    window.compute();
    QVERIFY(computed.wait(30000));
    QVERIFY(window.resultLabel()->text().startsWith(QStringLiteral("桌数：")));
    expectWhole(&window, QStringLiteral("turnover"));
}

void LayoutTest::itemSalesOfSixteenAndSeventeenRows_data() {
    QTest::addColumn<QString>("category");
    QTest::addColumn<int>("rows");
    QTest::newRow("16 rows") << QStringLiteral("其他") << 16;
    QTest::newRow("17 rows") << QStringLiteral("酒水") << 17;
}

void LayoutTest::itemSalesOfSixteenAndSeventeenRows() {
    QFETCH(QString, category);
    QFETCH(int, rows);
    ItemSalesWindow window(*db_);
    window.categoryBox()->setCurrentText(category);
    QSignalSpy computed(&window, &ItemSalesWindow::computed);
    window.compute();
    QVERIFY(computed.wait(30000));
    QCOMPARE(static_cast<int>(window.result().size()), rows);
    expectWhole(&window, QStringLiteral("items-%1").arg(rows));
    // Scrolled to the end, 合计 stands whole in the last row.
    QCOMPARE(window.scrollBar()->maximum(), ScrollMaximum(rows));
    window.scrollBar()->setValue(window.scrollBar()->maximum());
    expectWhole(&window, QStringLiteral("items-%1-end").arg(rows));
}

void LayoutTest::mobileOrderingWindow() {
    const QString dataFolder = home_.path(QStringLiteral("d"));
    ServerControl server(home_.path(QStringLiteral("bin")), dataFolder);
    MobileWindow window(*db_, *settings_, server);
    expectWhole(&window, QStringLiteral("mobile"));

    // A page the restaurant edited brings the first-time warning under the advice, which stays whole.
    QVERIFY(QDir().mkpath(dataFolder + QStringLiteral("/phone")));
    QFile edited(dataFolder + QStringLiteral("/phone/") + ServicePageNames().first());
    QVERIFY(edited.open(QIODevice::WriteOnly));
    edited.write("<html>本店自己改过的页面</html>");
    edited.close();
    MobileWindow warned(*db_, *settings_, server);
    QVERIFY(warned.findChild<QLabel*>(QStringLiteral("hintsLabel"))->isVisibleTo(&warned));
    expectWhole(&warned, QStringLiteral("mobile-warning"));

    // Switched on while the factory password holds, the window adds that warning as well (the server
    // itself is not installed here, which is only said).
    {
        const MessageBoxAnswerer answerer({QMessageBox::Ok});
        warned.findChild<QCheckBox*>(QStringLiteral("enableCheckBox"))->setChecked(true);
    }
    QVERIFY(warned.findChild<QLabel*>(QStringLiteral("hintsLabel"))->text().contains(QStringLiteral("739")));
    expectWhole(&warned, QStringLiteral("mobile-two-warnings"));
}

void LayoutTest::actionTrailOfAWeek() {
    // A week of a busy counter: names, tables and 内容 as long as their columns take.
    AddStaffAccount(*db_, {QStringLiteral("0123456789"), LongName(QStringLiteral("员工")), kRoleCashier, true,
                           QStringLiteral("1")});
    ActionTrail trail(*db_);
    for (int i = 0; i < 40; ++i)
        trail.append({QStringLiteral("0123456789"), kTrailActions.at(i % kTrailActions.size()),
                      LongName(QStringLiteral("%1号").arg(i % 45 + 1)), QStringLiteral("20241212130001"),
                      LongName(QStringLiteral("内容%1").arg(i), 1000),
                      kTrailReasons.at(i % kTrailReasons.size()), QStringLiteral("0123456789"),
                      Today().addDays(-(i % 7)).toString(Qt::ISODate) + QStringLiteral(" 12:00:00")});
    TrailWindow window(*db_);
    expectWhole(&window, QStringLiteral("trail"));
    window.tabs()->setCurrentIndex(1);
    expectWhole(&window, QStringLiteral("trail-summary"));
}

void LayoutTest::paymentHandoverAndStaffWindows() {
    AddStaffAccount(*db_, {QStringLiteral("9876543210"), LongName(QStringLiteral("收银")), kRoleCashier, true,
                           QStringLiteral("1")});
    PaymentDialog payment(PaymentBook(*db_).methods(true), 99999999999);
    expectWhole(&payment, QStringLiteral("payment"));
    const std::optional<StaffAccount> owner = ReadStaffAccount(*db_, QStringLiteral("001"));
    QVERIFY(owner);
    HandoverWindow handover(*db_, *settings_, *owner);
    expectWhole(&handover, QStringLiteral("handover"));
    StaffWindow staff(*db_);
    expectWhole(&staff, QStringLiteral("staff"));
    staff.tabs()->setCurrentIndex(1);
    expectWhole(&staff, QStringLiteral("staff-rights"));
    PaymentMethodsWindow methods(*db_);
    expectWhole(&methods, QStringLiteral("payment-methods"));
}

void LayoutTest::aboutBox() {
    QWidget parent;
    QDialog* box = ShowAboutBox(&parent);
    QVERIFY(box);
    expectWhole(box, QStringLiteral("about"));
    box->close();
}

void LayoutTest::messageBoxes_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("buttons");
    QTest::newRow("export failed") << QStringLiteral(
                                          "文件导出失败：无法写入“/home/收银/文档/%1.xls”：文件夹不存在")
                                          .arg(LongName(QStringLiteral("销售")))
                                   << int(QMessageBox::Ok);
    QTest::newRow("codes question") << QStringLiteral(
                                           "重新生成二维码后，已打印的桌台二维码将全部失效，确定吗？")
                                    << int(QMessageBox::Yes | QMessageBox::No);
    QTest::newRow("ok or cancel") << QStringLiteral("确定要清空所有菜品吗？")
                                  << int(QMessageBox::Ok | QMessageBox::Cancel);
}

void LayoutTest::messageBoxes() {
    QFETCH(QString, text);
    QFETCH(int, buttons);
    QMessageBox box(QMessageBox::Warning, kHintTitle, text, QMessageBox::StandardButtons(buttons));
    expectWhole(&box, QStringLiteral("message-%1").arg(QString::fromUtf8(QTest::currentDataTag())));
}

QTEST_MAIN(LayoutTest)
#include "test_layout.moc"
