// Tickets and bills as ESC/POS: line breaking on 58 and 80 mm paper (Chinese characters take two columns),
// what a kitchen ticket and a bill say once a printer decodes them, and the drawer pulse.

#include "FakePrinter.h"

#include "print/EscPos.h"
#include "print/TicketEncoder.h"

#include <QTest>

namespace {

OrderLine Line(const QString& category, const QString& name, const QString& quantity, const QString& unit,
               const QString& remark = {}, const QString& amount = QStringLiteral("28")) {
    OrderLine line;
    line.category = category;
    line.name = name;
    line.quantity = quantity;
    line.unit = unit;
    line.remark = remark;
    line.amount = amount;
    return line;
}

PrintJob Ticket(const QList<OrderLine>& lines) {
    PrintJob job;
    job.id = QStringLiteral("000000000001");
    job.printer = QStringLiteral("厨房");
    job.kind = JobKind::Kitchen;
    job.created = QDateTime(QDate(2026, 12, 9), QTime(12, 30, 5));
    job.number = 17;
    job.source = kSourceGuest;
    job.tableName = QStringLiteral("大厅3号");
    job.lines = lines;
    return job;
}

PrintedPaper Decoded(const QByteArray& bytes) {
    QString error;
    const PrintedPaper paper = DecodeEscPos(bytes, &error);
    if (!error.isEmpty())
        qWarning("%s", qPrintable(error));
    return paper;
}

int WidestLine(const PrintedPaper& paper, bool countBig) {
    int widest = 0;
    for (qsizetype i = 0; i < paper.lines.size(); ++i)
        if (countBig || !paper.bigLines.contains(static_cast<int>(i)))
            widest = std::max(widest, TextColumns(paper.lines.at(i)));
    return widest;
}

} // namespace

class TestPrintLayoutEscPos : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void columnsCountChineseAsTwo();
    void wrapping_data();
    void wrapping();
    void kitchenTicketSaysWhatTheKitchenNeeds();
    void longNamesAndRemarksStayWithinThePaper_data();
    void longNamesAndRemarksStayWithinThePaper();
    void copiesSayWhyTheyPrintAgain();
    void billHasTheContentOfThePaperLayout();
    void drawerPulseOpensTheDrawerAndPrintsNothing();
    void textTheFontsCannotShowBecomesAVisibleMark();
};

void TestPrintLayoutEscPos::columnsCountChineseAsTwo() {
    QCOMPARE(TextColumns(QStringLiteral("abc")), 3);
    QCOMPARE(TextColumns(QStringLiteral("宫保鸡丁")), 8);
    QCOMPARE(TextColumns(QStringLiteral("可乐 ×2瓶")), 10);
    QCOMPARE(PadColumns(QStringLiteral("米饭"), 6), QStringLiteral("米饭  "));
    QCOMPARE(PadColumns(QStringLiteral("米饭米饭"), 6), QStringLiteral("米饭米饭"));
}

void TestPrintLayoutEscPos::wrapping_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("fits") << QStringLiteral("宫保鸡丁") << 8 << QStringList{QStringLiteral("宫保鸡丁")};
    // A Chinese character never straddles the edge: with 7 columns only three fit.
    QTest::newRow("odd columns") << QStringLiteral("宫保鸡丁") << 7
                                 << QStringList{QStringLiteral("宫保鸡"), QStringLiteral("丁")};
    QTest::newRow("mixed") << QStringLiteral("ab宫保鸡丁") << 6
                           << QStringList{QStringLiteral("ab宫保"), QStringLiteral("鸡丁")};
    QTest::newRow("word moves to the next line")
        << QStringLiteral("Coca Cola Zero") << 10
        << QStringList{QStringLiteral("Coca Cola"), QStringLiteral("Zero")};
    QTest::newRow("word longer than a line is cut")
        << QStringLiteral("abcdefghijkl") << 5
        << QStringList{QStringLiteral("abcde"), QStringLiteral("fghij"), QStringLiteral("kl")};
    QTest::newRow("blank at the break")
        << QStringLiteral("可乐 雪碧") << 4 << QStringList{QStringLiteral("可乐"), QStringLiteral("雪碧")};
    QTest::newRow("empty") << QString() << 32 << QStringList{QString()};
}

void TestPrintLayoutEscPos::wrapping() {
    QFETCH(QString, text);
    QFETCH(int, columns);
    QFETCH(QStringList, lines);
    QCOMPARE(WrapColumns(text, columns), lines);
}

void TestPrintLayoutEscPos::kitchenTicketSaysWhatTheKitchenNeeds() {
    const PrintJob job =
        Ticket({Line(kDishes, QStringLiteral("宫保鸡丁"), QStringLiteral("1"), QStringLiteral("份"),
                     QStringLiteral("不要辣")),
                Line(kDishes, QStringLiteral("米饭"), QStringLiteral("2"), QStringLiteral("碗"))});
    const PrintedPaper paper = Decoded(EncodeKitchenTicket(job, 48));
    const QString text = paper.lines.join(QLatin1Char('\n'));
    QVERIFY2(text.contains(QStringLiteral("桌号：大厅3号")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("单号：17")));
    QVERIFY(text.contains(QStringLiteral("顾客扫码")));
    QVERIFY(text.contains(QStringLiteral("2026-12-09 12:30")));
    QVERIFY(text.contains(QStringLiteral("备注：不要辣")));
    QVERIFY(!text.contains(QStringLiteral("补打")));
    // The table stands out in large type; each item shows its quantity on its own row.
    const qsizetype table = paper.lines.indexOf(QStringLiteral("桌号：大厅3号"));
    QVERIFY(paper.bigLines.contains(static_cast<int>(table)));
    const QStringList items = paper.lines.filter(QStringLiteral("×"));
    QCOMPARE(items.size(), 2);
    QVERIFY(items.at(0).startsWith(QStringLiteral("宫保鸡丁")) &&
            items.at(0).endsWith(QStringLiteral("×1份")));
    QVERIFY(items.at(1).startsWith(QStringLiteral("米饭")) && items.at(1).endsWith(QStringLiteral("×2碗")));
    QCOMPARE(paper.cuts, 1);
    QCOMPARE(paper.drawerPulses, 0);
}

void TestPrintLayoutEscPos::longNamesAndRemarksStayWithinThePaper_data() {
    QTest::addColumn<int>("paperMm");
    QTest::addColumn<int>("columns");
    QTest::newRow("58 mm") << 58 << 32;
    QTest::newRow("80 mm") << 80 << 48;
}

void TestPrintLayoutEscPos::longNamesAndRemarksStayWithinThePaper() {
    QFETCH(int, paperMm);
    QFETCH(int, columns);
    Printer printer;
    printer.paperMm = paperMm;
    QCOMPARE(printer.columns(), columns);
    const QString name = QStringLiteral("秘制蜜汁叉烧配时令蔬菜和手工面条特大份加量不加价");
    const QString remark =
        QStringLiteral("少盐少油不要香菜不要葱姜蒜，打包带走，分两盒装，谢谢 thank you very much");
    const PrintJob job = Ticket({Line(kDishes, name, QStringLiteral("12"), QStringLiteral("份"), remark)});
    const PrintedPaper paper = Decoded(EncodeJob(job, printer));
    // Items print in double height only, so every line but the large table name keeps to the columns.
    QVERIFY2(WidestLine(paper, false) <= columns, qPrintable(paper.lines.join(QLatin1Char('\n'))));
    for (const int big : paper.bigLines)
        QVERIFY(TextColumns(paper.lines.at(big)) <= columns / 2);
    // Nothing of the name or the remark is lost across the breaks.
    // The quantity stands on the right of the name's first line, so it is taken out before comparing.
    const QString joined =
        paper.lines.join(QString()).remove(QLatin1Char(' ')).remove(QStringLiteral("×12份"));
    QVERIFY(joined.contains(QString(name).remove(QLatin1Char(' '))));
    QVERIFY(joined.contains(QString(remark).remove(QLatin1Char(' '))));
    QCOMPARE(paper.lines.filter(QStringLiteral("×12份")).size(), 1);
}

void TestPrintLayoutEscPos::copiesSayWhyTheyPrintAgain() {
    PrintJob job = Ticket({Line(kDishes, QStringLiteral("米饭"), QStringLiteral("1"), QStringLiteral("碗"))});
    job.recovery = true;
    QVERIFY(Decoded(EncodeKitchenTicket(job, 32)).lines.join(QString()).contains(QStringLiteral("补打")));
    job.recovery = false;
    job.reprint = true;
    const QString text = Decoded(EncodeKitchenTicket(job, 32)).lines.join(QString());
    QVERIFY(text.contains(QStringLiteral("重打")));
    QVERIFY(!text.contains(QStringLiteral("补打")));

    // A dish taken back can never be read as one to cook: the banner is large, and so is each quantity.
    job.reprint = false;
    job.change = QStringLiteral("退菜");
    job.reason = QStringLiteral("客人不要了");
    const PrintedPaper taken = Decoded(EncodeKitchenTicket(job, 32));
    const qsizetype banner = taken.lines.indexOf(QStringLiteral("■■ 退菜 ■■"));
    QVERIFY(banner >= 0 && taken.bigLines.contains(static_cast<int>(banner)));
    QVERIFY(taken.lines.join(QString()).contains(QStringLiteral("退×1碗")));
    QVERIFY(taken.lines.join(QString()).contains(QStringLiteral("原因：客人不要了")));
}

void TestPrintLayoutEscPos::billHasTheContentOfThePaperLayout() {
    BillData bill;
    bill.restaurantName = QStringLiteral("澄槿小馆");
    bill.address = QStringLiteral("杭州市西湖区文三路88号");
    bill.phone = QStringLiteral("0571-88886666");
    bill.tableName = QStringLiteral("包厢1");
    bill.printTime = QDateTime(QDate(2026, 12, 9), QTime(13, 5));
    bill.lines = {Line(kDishes, QStringLiteral("宫保鸡丁"), QStringLiteral("2"), QStringLiteral("份"), {},
                       QStringLiteral("56")),
                  Line(kDrinks, QStringLiteral("可乐"), QStringLiteral("1"), QStringLiteral("瓶"), {},
                       QStringLiteral("5"))};
    bill.receivable = QStringLiteral("61");
    bill.received = QStringLiteral("52");
    for (const int columns : {32, 48}) {
        const PrintedPaper paper = Decoded(EncodeBill(bill, columns));
        const QString text = paper.lines.join(QLatin1Char('\n'));
        for (const QString& expected :
             {QStringLiteral("澄槿小馆"), QStringLiteral("消费清单"), QStringLiteral("桌号：包厢1"),
              QStringLiteral("打印时间：2026-12-09 13:05"), QStringLiteral("合计：61.00"),
              QStringLiteral("实收：52.00"), QStringLiteral("地址：杭州市西湖区文三路88号"),
              QStringLiteral("电话：0571-88886666")})
            QVERIFY2(text.contains(expected), qPrintable(expected + QLatin1Char('\n') + text));
        const QStringList dish = paper.lines.filter(QStringLiteral("宫保鸡丁"));
        QCOMPARE(dish.size(), 1);
        QVERIFY(dish.first().contains(QStringLiteral("2份")));
        QVERIFY(dish.first().endsWith(QStringLiteral("56.00")));
        QCOMPARE(TextColumns(dish.first()), columns);
        QVERIFY(WidestLine(paper, false) <= columns);
        QCOMPARE(paper.cuts, 1);
    }
}

void TestPrintLayoutEscPos::drawerPulseOpensTheDrawerAndPrintsNothing() {
    const PrintedPaper paper = Decoded(EncodeDrawerPulse());
    QCOMPARE(paper.drawerPulses, 1);
    QVERIFY(paper.lines.isEmpty());
    QCOMPARE(paper.cuts, 0);
}

void TestPrintLayoutEscPos::textTheFontsCannotShowBecomesAVisibleMark() {
    // Outside the basic plane (🌶 𠮷 😀), outside GBK (☕, which GB18030 writes in four bytes that a
    // GBK font prints as two wrong characters), and a control that would be taken for a command.
    EscPosWriter out;
    out.line(QStringLiteral("辣\U0001F336度\x1b@ 𠮷😀☕"));
    QCOMPARE(Decoded(out.bytes()).lines, QStringList{QStringLiteral("辣□度□@ □□□")});
    // Two bytes for each Chinese character and mark, one for "@", the blank and the line feed.
    QCOMPARE(out.bytes().size(), 7 * 2 + 3);
}

QTEST_GUILESS_MAIN(TestPrintLayoutEscPos)
#include "test_print_layout_escpos.moc"
