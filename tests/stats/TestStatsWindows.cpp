#include "StatsTestData.h"
#include "common/MessageBoxes.h"
#include "common/TestHome.h"

#include "bill/Payments.h"
#include "stats/ItemSalesWindow.h"
#include "stats/StatsDates.h"
#include "stats/TurnoverWindow.h"
#include "store/Database.h"
#include "store/Ids.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QtTest>

namespace {

void click(QWidget* window, const char* name) {
    auto* button = window->findChild<QPushButton*>(QString::fromLatin1(name));
    QVERIFY(button);
    button->click();
}

const QString kToday = DateText(QDate::currentDate());

} // namespace

class TestStatsWindows : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void turnoverWindowComputes();
    void turnoverWindowRefusesBadDates();
    void turnoverWindowShowsAndExportsPayments();
    void itemGridScrollsBeyondSixteenRows_data();
    void itemGridScrollsBeyondSixteenRows();
    void itemWindowChecksDatesAndSpan_data();
    void itemWindowChecksDatesAndSpan();
    void exportWritesOrSaysWhy_data();
    void exportWritesOrSaysWhy();
    void exportBeforeComputeSaysSoAndWritesNothing();

private:
    TestHome home_;
};

void TestStatsWindows::turnoverWindowComputes() {
    const auto db = home_.createDatabase(QStringLiteral("turnover.dat"));
    AddBill(*db, QStringLiteral("20240301120000"), kToday,
            {QStringLiteral("120"), QStringLiteral("20"), QStringLiteral("0"), QStringLiteral("140"),
             QStringLiteral("140"), QStringLiteral("0")});
    TurnoverWindow window(*db);
    QCOMPARE(window.windowTitle(), QStringLiteral("营业额统计"));
    QCOMPARE(window.startBox()->text(), DateText(OneMonthBack(QDate::currentDate())));
    QCOMPARE(window.endBox()->text(), kToday);
    QVERIFY(window.resultLabel()->text().isEmpty()); // nothing is computed on opening
    QSignalSpy computed(&window, &TurnoverWindow::computed);

    click(&window, "todayButton");
    QVERIFY(computed.wait(10000));
    QCOMPARE(window.startBox()->text(), kToday);
    QCOMPARE(window.resultLabel()->text(),
             QStringLiteral("桌数：1\n\n菜品：120  酒水：20  其他：0\n\n应收：140  实收：140\n\n挂账：0"));

    click(&window, "thisMonthButton");
    QVERIFY(computed.wait(10000));
    QCOMPARE(window.startBox()->text(), kToday.left(8) + QStringLiteral("01"));
    QVERIFY(window.resultLabel()->text().startsWith(QStringLiteral("桌数：1")));

    window.startBox()->setText(QStringLiteral("2001/1/1"));
    window.endBox()->setText(QStringLiteral("2001-1-31"));
    click(&window, "computeButton");
    QVERIFY(computed.wait(10000));
    QCOMPARE(window.resultLabel()->text(), QStringLiteral("无统计数字"));
}

void TestStatsWindows::turnoverWindowRefusesBadDates() {
    const auto db = home_.createDatabase(QStringLiteral("bad-dates.dat"));
    TurnoverWindow window(*db);
    window.resultLabel()->setText(QStringLiteral("上次的结果"));
    window.startBox()->setText(QStringLiteral("2024-13-01"));
    const MessageBoxAnswerer boxes;
    click(&window, "computeButton");
    QCOMPARE(boxes.shown().size(), 1);
    QCOMPARE(boxes.shown()[0].text, QStringLiteral("请输入正确日期格式，如“2020-01-15”！"));
    QCOMPARE(boxes.shown()[0].title, QStringLiteral("澄槿餐饮点餐收银软件"));
    QVERIFY(!window.busy());
    QCOMPARE(window.resultLabel()->text(), QStringLiteral("上次的结果"));
}

void TestStatsWindows::turnoverWindowShowsAndExportsPayments() {
    const auto db = home_.createDatabase(QStringLiteral("turnover-payments.dat"));
    {
        Transaction step(*db);
        PaymentBook(*db).record(
            QStringLiteral("20240301120000"),
            {{QStringLiteral("微信"), 5000, 0, false}, {QStringLiteral("现金"), 10000, 2200, true}},
            {QStringLiteral("001"), QDateTime::currentDateTime(), {}});
        step.commit();
    }
    TurnoverWindow window(*db);
    {
        const MessageBoxAnswerer boxes;
        click(&window, "exportButton");
        QCOMPARE(boxes.firstText(), QStringLiteral("请先统计，再导出。"));
    }
    QSignalSpy computed(&window, &TurnoverWindow::computed);
    click(&window, "todayButton");
    QVERIFY(computed.wait(10000));
    QCOMPARE(window.resultLabel()->text(),
             QStringLiteral("无统计数字\n\n按支付方式：现金 78  微信 50\n\n按员工：001 店长 128"));
    const QString path = home_.path(QStringLiteral("营业额"));
    window.setFileChooser([&](QWidget*) { return path; });
    const MessageBoxAnswerer boxes;
    click(&window, "exportButton");
    QCOMPARE(boxes.firstText(), QStringLiteral("文件导出成功！"));
    QVERIFY(QFile::exists(path + QStringLiteral(".xls")));
}

void TestStatsWindows::itemGridScrollsBeyondSixteenRows_data() {
    QTest::addColumn<int>("items");
    QTest::addColumn<bool>("scrolls");
    QTest::newRow("15 items and the total") << 15 << false;
    QTest::newRow("16 items and the total") << 16 << true;
}

void TestStatsWindows::itemGridScrollsBeyondSixteenRows() {
    QFETCH(int, items);
    QFETCH(bool, scrolls);
    const auto db = home_.createDatabase(QStringLiteral("grid%1.dat").arg(items));
    for (int i = 0; i < items; ++i)
        AddLine(*db, kToday, QStringLiteral("酒%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("酒水"),
                "1", "瓶", i == 0 ? "0" : "8");
    ItemSalesWindow window(*db);
    window.show();
    QCOMPARE(window.categoryBox()->currentText(), QStringLiteral("酒水"));
    QSignalSpy computed(&window, &ItemSalesWindow::computed);
    click(&window, "computeButton");
    QVERIFY(computed.wait(10000));

    const int rows = items + 1;
    QCOMPARE(static_cast<int>(window.result().size()), rows);
    QCOMPARE(window.result().front().amount, QStringLiteral("0"));
    QTableView* grid = window.grid();
    QCOMPARE(grid->model()->index(0, 3).data().toString(), QString()); // "0" is shown empty
    QScrollBar* bar = window.findChild<QScrollBar*>(QStringLiteral("gridScrollBar"));
    QVERIFY(bar);
    QCOMPARE(bar->isEnabled(), scrolls);
    if (!scrolls) {
        QCOMPARE(grid->model()->index(items, 0).data().toString(), QStringLiteral("合计"));
        return;
    }
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bar->maximum(), rows - 16);
    bar->setValue(bar->maximum());
    const QModelIndex bottom = grid->indexAt(QPoint(4, grid->viewport()->height() - 2));
    QCOMPARE(bottom.row(), rows - 1);
    QCOMPARE(bottom.data().toString(), QStringLiteral("合计"));
    QCOMPARE(grid->model()->index(rows - 1, 3).data().toString(), QString::number((items - 1) * 8));
}

void TestStatsWindows::itemWindowChecksDatesAndSpan_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("title"); // empty: computed without a message
    QTest::addColumn<QString>("text");
    QTest::newRow("32 days") << "2020-01-01"
                             << "2020-02-02"
                             << ""
                             << "";
    QTest::newRow("32 days reversed") << "2020-02-02"
                                      << "2020-01-01"
                                      << ""
                                      << "";
    QTest::newRow("33 days") << "2020-01-01"
                             << "2020-02-03"
                             << "提示"
                             << "统计日期范围不能超过1个月！";
    QTest::newRow("33 days reversed") << "2020-02-03"
                                      << "2020-01-01"
                                      << "提示"
                                      << "统计日期范围不能超过1个月！";
    QTest::newRow("not a date") << "2020-01-01"
                                << "2020-02-31"
                                << "澄槿餐饮点餐收银软件"
                                << "请输入正确日期格式，如“2020-01-15”！";
}

void TestStatsWindows::itemWindowChecksDatesAndSpan() {
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, title);
    QFETCH(QString, text);
    const auto db = home_.createDatabase(QString::fromUtf8(QTest::currentDataTag()) + QStringLiteral(".dat"));
    AddLine(*db, QStringLiteral("2020-01-15"), QStringLiteral("可乐"), QStringLiteral("酒水"), "2", "瓶",
            "10");
    ItemSalesWindow window(*db);
    window.startBox()->setText(start);
    window.endBox()->setText(end);
    QSignalSpy computed(&window, &ItemSalesWindow::computed);
    const MessageBoxAnswerer boxes;
    click(&window, "computeButton");
    if (title.isEmpty()) {
        QVERIFY(computed.wait(10000));
        QCOMPARE(window.result().size(), size_t(2));
        QCOMPARE(window.result().front().name, QStringLiteral("可乐"));
        QVERIFY(boxes.shown().isEmpty());
    } else {
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown()[0].title, title);
        QCOMPARE(boxes.shown()[0].text, text);
        QVERIFY(!window.busy());
        QVERIFY(window.result().empty());
    }
}

void TestStatsWindows::exportWritesOrSaysWhy_data() {
    QTest::addColumn<QString>("chosen");  // relative to the test home; "" cancels
    QTest::addColumn<QString>("written"); // file that must exist afterwards, "" none
    QTest::addColumn<QString>("message"); // start of the message, "" none
    QTest::newRow("name without extension") << "销售"
                                            << "销售.xls"
                                            << "文件导出成功！";
    QTest::newRow("name with extension") << "三月.xls"
                                         << "三月.xls"
                                         << "文件导出成功！";
    QTest::newRow("cancelled") << ""
                               << ""
                               << "";
    QTest::newRow("missing folder") << "没有的文件夹/销售"
                                    << ""
                                    << "文件导出失败：";
}

void TestStatsWindows::exportWritesOrSaysWhy() {
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    QFETCH(QString, message);
    const auto db = home_.createDatabase(QString::fromUtf8(QTest::currentDataTag()) + QStringLiteral(".dat"));
    ItemSalesWindow window(*db);
    QSignalSpy computed(&window, &ItemSalesWindow::computed);
    click(&window, "computeButton");
    QVERIFY(computed.wait(10000));
    QCOMPARE(window.result().size(), size_t(1)); // only 合计

    const QString folder = home_.path(QString::fromUtf8(QTest::currentDataTag()));
    QDir().mkpath(folder);
    window.setFileChooser(
        [&](QWidget*) { return chosen.isEmpty() ? QString() : folder + QLatin1Char('/') + chosen; });
    const MessageBoxAnswerer boxes;
    click(&window, "exportButton");
    if (message.isEmpty()) {
        QVERIFY(boxes.shown().isEmpty());
    } else {
        QCOMPARE(boxes.shown().size(), 1);
        QVERIFY2(boxes.shown()[0].text.startsWith(message), qPrintable(boxes.shown()[0].text));
        QCOMPARE(boxes.shown()[0].title, QStringLiteral("提示"));
    }
    const QStringList files = QDir(folder).entryList(QDir::Files);
    QCOMPARE(files, written.isEmpty() ? QStringList() : QStringList{written});
}

// 导出 before any 统计: told so before a file name is asked for, and no file appears.
void TestStatsWindows::exportBeforeComputeSaysSoAndWritesNothing() {
    const auto db = home_.createDatabase(QStringLiteral("export-first.dat"));
    const QString folder = home_.path(QStringLiteral("export-first"));
    QDir().mkpath(folder);
    int asked = 0;
    const auto chooser = [&](QWidget*) {
        ++asked;
        return folder + QStringLiteral("/统计");
    };
    TurnoverWindow turnover(*db);
    turnover.setFileChooser(chooser);
    ItemSalesWindow items(*db);
    items.setFileChooser(chooser);
    for (QWidget* window : std::initializer_list<QWidget*>{&turnover, &items}) {
        const MessageBoxAnswerer boxes;
        click(window, "exportButton");
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("请先统计，再导出。")});
    }
    QCOMPARE(asked, 0);
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());
}

QTEST_MAIN(TestStatsWindows)
#include "TestStatsWindows.moc"
