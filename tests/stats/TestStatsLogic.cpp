#include "StatsTestData.h"
#include "common/TestHome.h"
#include "common/XlsReadBack.h"

#include "bill/Payments.h"
#include "settings/StaffAccounts.h"

#include "stats/ItemSales.h"
#include "stats/StatsDates.h"
#include "stats/Turnover.h"
#include "store/Database.h"
#include "store/NumberFunction.h"
#include "store/NumberText.h"

#include <QtTest>
#include <cstring>

Q_DECLARE_METATYPE(std::vector<ItemSalesRow>)

namespace {

const QString kMarch1 = QStringLiteral("2024-03-01");
const QString kMarch2 = QStringLiteral("2024-03-02");

DateRange range(const char* first, const char* last) {
    return *ReadDateRange(QString::fromLatin1(first), QString::fromLatin1(last));
}

ItemSalesRow row(const char* name, const char* quantity, const char* unit, const char* amount) {
    return {QString::fromUtf8(name), QString::fromUtf8(quantity), QString::fromUtf8(unit),
            QString::fromUtf8(amount)};
}

} // namespace

class TestStatsLogic : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void numberRuleMatchesReadNumber_data();
    void numberRuleMatchesReadNumber();
    void dateRanges_data();
    void dateRanges();
    void turnoverText_data();
    void turnoverText();
    void turnoverCountsOnlyTheRange();
    void paymentsAddUpByMethodAndStaff();
    void itemSales_data();
    void itemSales();
    void itemSalesFiltersCategoryAndDays();
    void displayCopyHidesZeroAmounts();
    void exportFileName_data();
    void exportFileName();

private:
    TestHome home_;
};

void TestStatsLogic::numberRuleMatchesReadNumber_data() {
    QTest::addColumn<QString>("text");
    for (const char* text : {
             "",     "0",   "12.50元", "28",    " 1 2", "\t7", "-5",  "+3.5",
             "--5",  "-+5", "1.2.3",   ".5",    "5.",   "-",   ".",   "abc",
             "1e5",  "0.1", "-0",      "-0.25", "007",  "-.5", "2份", "123456789012345678901234567890",
             "1 .5",
         })
        QTest::newRow(text) << QString::fromUtf8(text);
    QTest::newRow("beyond a double") << QString(400, QLatin1Char('9'));
    QTest::newRow("full-width digits") << QStringLiteral("１２");
    QTest::newRow("chinese first") << QStringLiteral("约12");
}

void TestStatsLogic::numberRuleMatchesReadNumber() {
    QFETCH(QString, text);
    const QByteArray utf8 = text.toUtf8();
    const double bytes = ReadNumberUtf8(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
    const double reference = ReadNumber(text);
    QCOMPARE(std::memcmp(&bytes, &reference, sizeof bytes), 0);
}

void TestStatsLogic::dateRanges_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("first"); // empty: refused
    QTest::addColumn<QString>("last");
    QTest::newRow("short") << "2024-3-1"
                           << "2024-3-9"
                           << "2024-03-01"
                           << "2024-03-09";
    QTest::newRow("start after end") << "2024-03-09"
                                     << "2024-03-01"
                                     << "2024-03-01"
                                     << "2024-03-09";
    QTest::newRow("no such day") << "2024-02-30"
                                 << "2024-03-01"
                                 << ""
                                 << "";
    QTest::newRow("quote") << "2024-03-01' or '1'='1"
                           << "2024-03-01"
                           << ""
                           << "";
}

void TestStatsLogic::dateRanges() {
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, first);
    QFETCH(QString, last);
    const std::optional<DateRange> result = ReadDateRange(start, end);
    QCOMPARE(result.has_value(), !first.isEmpty());
    if (result) {
        QCOMPARE(result->firstText(), first);
        QCOMPARE(result->lastText(), last);
    }
}

void TestStatsLogic::turnoverText_data() {
    QTest::addColumn<QList<BillMoney>>("bills");
    QTest::addColumn<QString>("text");
    const auto s = [](const char* text) { return std::optional<QString>(QString::fromUtf8(text)); };
    const std::optional<QString> null;
    QTest::newRow("two bills")
        << QList<BillMoney>{{s("120"), s("20"), s("0"), s("140"), s("140"), s("0")},
                            {s("35.5"), s(""), s("0"), s("35.5"), s("30"), s("5.5")}}
        << QStringLiteral("桌数：2\n\n菜品：155.5  酒水：20  其他：0\n\n应收：175.5  实收：170\n\n挂账：5.5");
    QTest::newRow("amount with a unit")
        << QList<BillMoney>{{s("12.50元"), s("0"), s("0"), s("12.50元"), s("12"), s("")}}
        << QStringLiteral("桌数：1\n\n菜品：12.5  酒水：0  其他：0\n\n应收：12.5  实收：12\n\n挂账：0");
    QTest::newRow("empty texts still count")
        << QList<BillMoney>{{s(""), s(""), s(""), s(""), s(""), s("")},
                            {s("8"), s(""), s(""), s("8"), s("8"), s("")}}
        << QStringLiteral("桌数：2\n\n菜品：8  酒水：0  其他：0\n\n应收：8  实收：8\n\n挂账：0");
    QTest::newRow("null in every row shows nothing")
        << QList<BillMoney>{{s("10"), null, s("1"), s("11"), s("11"), null},
                            {s("5"), null, null, s("5"), s("5"), null}}
        << QStringLiteral("桌数：2\n\n菜品：15  酒水：  其他：1\n\n应收：16  实收：16\n\n挂账：");
    QTest::newRow("tenths add up as written")
        << QList<BillMoney>{{s("0.1"), s("0"), s("0"), s("0.1"), s("0"), s("0")},
                            {s("0.2"), s("0"), s("0"), s("0.2"), s("0"), s("0")}}
        << QStringLiteral("桌数：2\n\n菜品：0.3  酒水：0  其他：0\n\n应收：0.3  实收：0\n\n挂账：0");
    QTest::newRow("no bills") << QList<BillMoney>{} << QStringLiteral("无统计数字");
}

void TestStatsLogic::turnoverText() {
    QFETCH(QList<BillMoney>, bills);
    QFETCH(QString, text);
    const auto db = home_.createDatabase(QString::fromUtf8(QTest::currentDataTag()) + QStringLiteral(".dat"));
    int n = 0;
    for (const BillMoney& money : bills)
        AddBill(*db, QStringLiteral("202403011200%1").arg(n++, 2, 10, QLatin1Char('0')), kMarch1, money);
    QCOMPARE(TurnoverText(ComputeTurnover(*db, range("2024-03-01", "2024-03-01"))), text);
}

void TestStatsLogic::turnoverCountsOnlyTheRange() {
    const auto db = home_.createDatabase(QStringLiteral("range.dat"));
    const auto money = [](const char* amount) {
        const std::optional<QString> text = QString::fromLatin1(amount);
        return BillMoney{text, text, text, text, text, text};
    };
    AddBill(*db, QStringLiteral("20240229230000"), QStringLiteral("2024-02-29"), money("1"));
    AddBill(*db, QStringLiteral("20240301100000"), kMarch1, money("10"), QString()); // still at the table
    AddBill(*db, QStringLiteral("20240302100000"), kMarch2, money("100"));
    AddBill(*db, QStringLiteral("20240303100000"), QStringLiteral("2024-03-03"), money("1000"));

    const TurnoverTotals oneDay = ComputeTurnover(*db, range("2024-03-01", "2024-03-01"));
    QCOMPARE(oneDay.bills, 1);
    QCOMPARE(oneDay.receivable, 10.0);
    const TurnoverTotals twoDays = ComputeTurnover(*db, range("2024-03-01", "2024-03-02"));
    QCOMPARE(twoDays.bills, 2);
    QCOMPARE(twoDays.onAccount, 110.0);
    QCOMPARE(ComputeTurnover(*db, range("2024-03-02", "2024-03-01")), twoDays);
    QCOMPARE(ComputeTurnover(*db, range("2024-03-04", "2024-12-31")).bills, 0);
}

// 收款 of the range by method and by staff, change given back taken off and reversals included; the export
// carries them as numbers.
void TestStatsLogic::paymentsAddUpByMethodAndStaff() {
    const auto db = home_.createDatabase(QStringLiteral("payments.dat"));
    AddStaffAccount(*db,
                    {QStringLiteral("008"), QStringLiteral("小李"), kRoleCashier, true, QStringLiteral("1")});
    const auto at = [](const char* day) {
        return QDateTime(QDate::fromString(QString::fromLatin1(day), Qt::ISODate), QTime(21, 30));
    };
    const Payment wechat{QStringLiteral("微信"), 5000, 0, false};
    const Payment cash{QStringLiteral("现金"), 10000, 2200, true};
    const Payment tenths{QStringLiteral("现金"), 10, 0, true};
    const Payment twentieths{QStringLiteral("支付宝"), 20, 0, false};
    {
        Transaction step(*db);
        PaymentBook book(*db);
        book.record(QStringLiteral("20240229210000"), {cash}, {QStringLiteral("001"), at("2024-02-29"), {}});
        book.record(QStringLiteral("20240301100000"), {wechat, cash},
                    {QStringLiteral("001"), at("2024-03-01"), {}});
        book.record(QStringLiteral("20240301110000"), {tenths, twentieths},
                    {QStringLiteral("008"), at("2024-03-01"), {}});
        // Reopened on the 2nd: reversed by 008 and paid again in cash.
        book.reverseAll(QStringLiteral("20240301100000"), {QStringLiteral("008"), at("2024-03-02"), {}});
        book.record(QStringLiteral("20240301100000"), {Payment{QStringLiteral("现金"), 12000, 0, true}},
                    {QStringLiteral("008"), at("2024-03-02"), {}});
        step.commit();
    }
    const PaymentSums firstDay = ComputePaymentSums(*db, range("2024-03-01", "2024-03-01"));
    QCOMPARE(firstDay.byMethod,
             (QList<std::pair<QString, qint64>>{{"现金", 7810}, {"微信", 5000}, {"支付宝", 20}}));
    QCOMPARE(firstDay.byStaff, (QList<std::pair<QString, qint64>>{{"001 店长", 12800}, {"008 小李", 30}}));
    const PaymentSums both = ComputePaymentSums(*db, range("2024-03-01", "2024-03-02"));
    QCOMPARE(both.byMethod, (QList<std::pair<QString, qint64>>{{"现金", 12010}, {"支付宝", 20}}));
    QCOMPARE(PaymentSumsText(both),
             QStringLiteral("按支付方式：现金 120.1  支付宝 0.2\n\n按员工：001 店长 128  008 小李 -7.7"));
    QCOMPARE(ComputePaymentSums(*db, range("2024-03-03", "2024-03-31")), PaymentSums{});

    if (!xlrdAvailable())
        QSKIP("/usr/bin/python3 with xlrd is not installed");
    const QString path = home_.path(QStringLiteral("营业额.xls"));
    QCOMPARE(ExportTurnover(path, ComputeTurnover(*db, range("2024-03-01", "2024-03-02")), both), QString());
    const QJsonArray values = readBack(path).value(QStringLiteral("values")).toArray();
    QCOMPARE(values.at(0).toArray().at(0).toString(), QStringLiteral("项目"));
    QCOMPARE(values.at(8).toArray().at(0).toString(), QStringLiteral("支付方式：现金"));
    QCOMPARE(values.at(8).toArray().at(1).toDouble(), 120.1);
    QCOMPARE(values.at(11).toArray().at(0).toString(), QStringLiteral("员工：008 小李"));
    QCOMPARE(values.at(11).toArray().at(1).toDouble(), -7.7);
}

void TestStatsLogic::itemSales_data() {
    struct Line {
        const char* date;
        const char* name;
        const char* quantity;
        const char* unit;
        const char* amount;
    };
    QTest::addColumn<QList<QStringList>>("lines"); // date, name, quantity, unit, amount; category 酒水
    QTest::addColumn<std::vector<ItemSalesRow>>("rows");
    const auto lines = [](std::initializer_list<Line> list) {
        QList<QStringList> result;
        for (const Line& line : list)
            result.append({QString::fromUtf8(line.date), QString::fromUtf8(line.name),
                           QString::fromUtf8(line.quantity), QString::fromUtf8(line.unit),
                           QString::fromUtf8(line.amount)});
        return result;
    };
    QTest::newRow("rounded amounts, total of the rounded")
        << lines({{"2024-03-01", "可乐", "2", "瓶", "10.4"}, {"2024-03-01", "橙汁", "1", "杯", "10.5"}})
        << std::vector<ItemSalesRow>{row("可乐", "2", "瓶", "10"), row("橙汁", "1", "杯", "11"),
                                     row("合计", "", "", "21")};
    QTest::newRow("total of the rounded, not the rounded total")
        << lines({{"2024-03-01", "可乐", "1", "瓶", "10.4"}, {"2024-03-01", "雪碧", "1", "瓶", "10.4"}})
        << std::vector<ItemSalesRow>{row("可乐", "1", "瓶", "10"), row("雪碧", "1", "瓶", "10"),
                                     row("合计", "", "", "20")};
    QTest::newRow("unit of the first line")
        << lines({{"2024-03-02", "啤酒", "1", "瓶", "8"},
                  {"2024-03-01", "啤酒", "6", "箱", "40"},
                  {"2024-03-01", "啤酒", "1", "", "8"}})
        << std::vector<ItemSalesRow>{row("啤酒", "8", "瓶", "56"), row("合计", "", "", "56")};
    QTest::newRow("quantities in general number form")
        << lines({{"2024-03-01", "米酒", "0.1", "碗", "0.35"},
                  {"2024-03-02", "米酒", "0.2", "碗", "0.15"},
                  {"2024-03-02", "米酒", "1.5份", "碗", "2元"}})
        << std::vector<ItemSalesRow>{row("米酒", "1.8", "碗", "3"), row("合计", "", "", "3")};
    QTest::newRow("apostrophe in a name")
        << lines({{"2024-03-01", "O'Brien's 黑啤", "2", "瓶", "30"},
                  {"2024-03-01", "O'Brien's 黑啤", "1", "瓶", "15"}})
        << std::vector<ItemSalesRow>{row("O'Brien's 黑啤", "3", "瓶", "45"), row("合计", "", "", "45")};
    QTest::newRow("amounts adding up to zero")
        << lines({{"2024-03-01", "赠酒", "1", "瓶", "0"}, {"2024-03-01", "赠酒", "1", "瓶", ""}})
        << std::vector<ItemSalesRow>{row("赠酒", "2", "瓶", "0"), row("合计", "", "", "0")};
    QTest::newRow("no sales") << lines({}) << std::vector<ItemSalesRow>{row("合计", "", "", "0")};
}

void TestStatsLogic::itemSales() {
    QFETCH(QList<QStringList>, lines);
    QFETCH(std::vector<ItemSalesRow>, rows);
    const auto db = home_.createDatabase(QString::fromUtf8(QTest::currentDataTag()) + QStringLiteral(".dat"));
    for (const QStringList& line : lines)
        AddLine(*db, line[0], line[1], QStringLiteral("酒水"), line[2], line[3], line[4]);
    const std::vector<ItemSalesRow> result =
        ComputeItemSales(*db, QStringLiteral("酒水"), range("2024-03-01", "2024-03-31"));
    QCOMPARE(result, rows);
}

void TestStatsLogic::itemSalesFiltersCategoryAndDays() {
    const auto db = home_.createDatabase(QStringLiteral("filters.dat"));
    AddLine(*db, QStringLiteral("2024-02-29"), QStringLiteral("可乐"), QStringLiteral("酒水"), "1", "瓶",
            "5");
    AddLine(*db, kMarch1, QStringLiteral("可乐"), QStringLiteral("酒水"), "2", "瓶", "10");
    AddLine(*db, kMarch1, QStringLiteral("米饭"), QStringLiteral("其他"), "3", "碗", "6");
    AddLine(*db, kMarch2, QStringLiteral("可乐"), QStringLiteral("酒水"), "1", "瓶", "5");
    AddLine(*db, QStringLiteral("2024-03-03"), QStringLiteral("可乐"), QStringLiteral("酒水"), "4", "瓶",
            "20");

    const std::vector<ItemSalesRow> expected{row("可乐", "3", "瓶", "15"), row("合计", "", "", "15")};
    QCOMPARE(ComputeItemSales(*db, QStringLiteral(" 酒水 "), range("2024-03-01", "2024-03-02")), expected);
    QCOMPARE(ComputeItemSales(*db, QStringLiteral("酒水"), range("2024-03-02", "2024-03-01")), expected);
    QCOMPARE(ComputeItemSales(*db, QStringLiteral("其他"), range("2024-03-01", "2024-03-01")),
             (std::vector<ItemSalesRow>{row("米饭", "3", "碗", "6"), row("合计", "", "", "6")}));
    QCOMPARE(ComputeItemSales(*db, QStringLiteral("酒水' OR '1'='1"), range("2024-01-01", "2024-12-31")),
             (std::vector<ItemSalesRow>{row("合计", "", "", "0")}));
}

void TestStatsLogic::displayCopyHidesZeroAmounts() {
    const std::vector<ItemSalesRow> rows{row("赠酒", "2", "瓶", "0"), row("可乐", "1", "瓶", "0.0"),
                                         row("合计", "", "", "0")};
    const std::vector<ItemSalesRow> shown = DisplayRows(rows);
    QCOMPARE(shown[0].amount, QString());
    QCOMPARE(shown[1].amount, QStringLiteral("0.0"));
    QCOMPARE(shown[2].amount, QString());
    QCOMPARE(rows[0].amount, QStringLiteral("0"));
    QCOMPARE(ScrollMaximum(16), 0);
    QCOMPARE(ScrollMaximum(17), 1);
}

void TestStatsLogic::exportFileName_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("plain") << "/tmp/销售"
                           << "/tmp/销售.xls";
    QTest::newRow("already .xls") << "/tmp/x.xls"
                                  << "/tmp/x.xls";
    QTest::newRow("upper case") << "/tmp/x.XLS"
                                << "/tmp/x.XLS";
    QTest::newRow("other extension") << "/tmp/x.xlsx"
                                     << "/tmp/x.xlsx.xls";
    QTest::newRow("outer blanks") << " /tmp/x "
                                  << "/tmp/x.xls";
}

void TestStatsLogic::exportFileName() {
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    QCOMPARE(ExportFileName(chosen), written);
}

QTEST_GUILESS_MAIN(TestStatsLogic)
#include "TestStatsLogic.moc"
