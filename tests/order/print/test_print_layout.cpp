#include "PdfWords.h"
#include "order/BillLayout.h"
#include "order/KitchenTicket.h"

#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Glyph boxes from the PDF reader against layout positions: close enough to tell 6 mm rows apart.
constexpr double kToleranceMm = 1.5;
constexpr QSizeF kA4{210, 297};

OrderLine Line(const QString& name, const QString& quantity, const QString& unit, const QString& amount,
               const QString& remark = {}, const QString& mark = {}) {
    OrderLine line;
    line.category = mark.isEmpty() ? kDrinks : kDishes;
    line.name = name;
    line.quantity = quantity;
    line.unit = unit;
    line.price = amount;
    line.amount = amount;
    line.remark = remark;
    line.kitchenMark = mark;
    return line;
}

QList<OrderLine> NumberedDishes(int count) {
    QList<OrderLine> lines;
    for (int i = 0; i < count; ++i)
        lines.append(Line(QStringLiteral("菜%1").arg(i), QStringLiteral("1"), QStringLiteral("份"),
                          QStringLiteral("10"), {}, kMark));
    return lines;
}

BillData SampleBill(QList<OrderLine> lines = {}) {
    BillData bill;
    bill.restaurantName = QStringLiteral("澄槿小馆");
    bill.address = QStringLiteral("河西路8号");
    bill.phone = QStringLiteral("12345678");
    bill.tableName = QStringLiteral("3号桌");
    bill.lines = std::move(lines);
    bill.receivable = QStringLiteral("12.5");
    bill.received = QStringLiteral("12.5");
    bill.leftMarginMm = 10;
    bill.topMarginMm = 10;
    bill.printTime = QDateTime(QDate(2026, 3, 7), QTime(18, 5));
    return bill;
}

// Paints the document on PDF pages of the given size with no page margins, so the printable area is the page.
PdfContent Render(const ReceiptDocument& document, QSizeF pageMm, const QString& path) {
    {
        QPdfWriter writer(path);
        writer.setResolution(1200);
        writer.setPageSize(QPageSize(pageMm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        QPainter painter(&writer);
        if (!PaintReceiptPaged(painter, writer, document))
            return {};
    }
    return ReadPdfWords(path);
}

PdfWord Only(const PdfContent& content, const QString& text) {
    const QList<PdfWord> found = content.find(text);
    if (found.size() != 1)
        qWarning() << "expected one" << text << "found" << found.size();
    return found.value(0);
}

bool Near(double actual, double expected) {
    if (std::abs(actual - expected) <= kToleranceMm)
        return true;
    qWarning() << "position" << actual << "expected" << expected;
    return false;
}
} // namespace

class PrintLayoutTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString pdf(const QString& name) const { return dir_.filePath(name + QStringLiteral(".pdf")); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        // CJ_KEEP_PDF=1 keeps the rendered pages for a look.
        if (qEnvironmentVariableIsSet("CJ_KEEP_PDF")) {
            dir_.setAutoRemove(false);
            qInfo() << "pages in" << dir_.path();
        }
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
    }

    void ticketTableNameSitsAtTheMargins() {
        const KitchenTicketData ticket{QStringLiteral("3号桌"), NumberedDishes(1), 10, 10};
        const PdfContent content = Render(KitchenTicketDocument(ticket), kA4, pdf(QStringLiteral("ticket")));
        const PdfWord table = Only(content, QStringLiteral("桌号：3号桌"));
        QVERIFY(Near(table.left, 7));
        QVERIFY(Near(table.top, 10));
    }

    void ticketRowsKeepTheRowsOfUnmarkedLines() {
        // Margins 3/5 put the ticket's own origin on the corner of the page.
        const QList<OrderLine> lines{
            Line(QStringLiteral("宫保鸡丁"), QStringLiteral("1"), QStringLiteral("份"), QStringLiteral("28"),
                 QStringLiteral("不要辣"), kMark),
            Line(QStringLiteral("啤酒"), QStringLiteral("2"), QStringLiteral("瓶"), QStringLiteral("10")),
            Line(QStringLiteral("麻婆豆腐"), QStringLiteral("1"), QStringLiteral("份"), QStringLiteral("22"),
                 {}, kMark),
        };
        const KitchenTicketData ticket{QStringLiteral("3号桌"), lines, 3, 5};
        const PdfContent content = Render(KitchenTicketDocument(ticket), kA4, pdf(QStringLiteral("rows")));

        QVERIFY(Near(Only(content, QStringLiteral("宫保鸡丁")).top, 17));
        QCOMPARE(Only(content, QStringLiteral("1份/不要辣")).top,
                 Only(content, QStringLiteral("宫保鸡丁")).top);
        QVERIFY(Near(Only(content, QStringLiteral("麻婆豆腐")).top, 33));
        QVERIFY(Near(Only(content, QStringLiteral("麻婆豆腐")).left, 0));
        QCOMPARE(content.find(QStringLiteral("1份")).size(), 1); // no "/" without a remark
        QVERIFY(content.find(QStringLiteral("啤酒")).isEmpty());
        for (const PdfWord& word : content.words)
            QVERIFY2(std::abs(word.top - 25) > kToleranceMm, qPrintable(word.text));
    }

    void longTicketGoesOnDownAndOverPages() {
        // Past the 73rd line a 16-bit offset would wrap and throw rows back up the paper.
        const QList<OrderLine> lines = NumberedDishes(100);
        const KitchenTicketData ticket{QStringLiteral("3号桌"), lines, 3, 5};
        const ReceiptDocument document = KitchenTicketDocument(ticket);

        const PdfContent tall = Render(document, QSizeF(80, 1000), pdf(QStringLiteral("tall-ticket")));
        QCOMPARE(tall.pages.size(), 1);
        for (int i = 70; i < 100; ++i)
            QVERIFY(Near(Only(tall, QStringLiteral("菜%1").arg(i)).top, 17 + i * 454 / 56.7));

        const PdfContent paged = Render(document, kA4, pdf(QStringLiteral("paged-ticket")));
        QCOMPARE(paged.pages.size(), 3);
        double previousTop = -1;
        int previousPage = 0;
        for (int i = 0; i < 100; ++i) {
            const PdfWord row = Only(paged, QStringLiteral("菜%1").arg(i));
            QVERIFY(row.bottom <= kA4.height());
            // Rows go down the page, and a new page starts again at the top margin.
            if (row.page == previousPage)
                QVERIFY(row.top > previousTop);
            else
                QVERIFY(Near(row.top, 5));
            previousTop = row.top;
            previousPage = row.page;
        }
    }

    void smallMarginsKeepEverythingOnThePaper_data() {
        QTest::addColumn<bool>("bill");
        QTest::addColumn<double>("left");
        QTest::addColumn<double>("top");
        QTest::addColumn<QString>("word");
        QTest::addColumn<double>("expectedLeft");
        QTest::addColumn<double>("expectedTop");
        QTest::newRow("ticket, no margins") << false << 0.0 << 0.0 << "桌号：3号桌" << 0.0 << 0.0;
        QTest::newRow("ticket, 2 mm") << false << 2.0 << 2.0 << "桌号：3号桌" << 0.0 << 2.0;
        QTest::newRow("bill, no margins") << true << 0.0 << 0.0 << "澄槿小馆" << -1.0 << 0.0;
        QTest::newRow("bill title, no margins") << true << 0.0 << 0.0 << "消费清单" << 22.0 << 8.0;
        QTest::newRow("bill, 1 mm") << true << 1.0 << 1.0 << "桌号：3号桌" << 4.0 << 18.0;
    }

    void smallMarginsKeepEverythingOnThePaper() {
        QFETCH(bool, bill);
        QFETCH(double, left);
        QFETCH(double, top);
        QFETCH(QString, word);
        QFETCH(double, expectedLeft);
        QFETCH(double, expectedTop);
        BillData billData = SampleBill();
        billData.leftMarginMm = left;
        billData.topMarginMm = top;
        const ReceiptDocument document =
            bill ? BillDocument(billData) : KitchenTicketDocument({QStringLiteral("3号桌"), {}, left, top});
        const PdfContent content = Render(document, kA4, pdf(QStringLiteral("small")));
        for (const PdfWord& each : content.words)
            QVERIFY2(each.left >= -0.3 && each.top >= -0.3,
                     qPrintable(QStringLiteral("%1 %2 %3").arg(each.text).arg(each.left).arg(each.top)));
        const PdfWord found = Only(content, word);
        if (expectedLeft >= 0)
            QVERIFY(Near(found.left, expectedLeft));
        QVERIFY(Near(found.top, expectedTop));
    }

    void billHeaderSitsAtTheMargins() {
        const PdfContent content = Render(BillDocument(SampleBill()), kA4, pdf(QStringLiteral("header")));
        const PdfWord title = Only(content, QStringLiteral("消费清单"));
        QVERIFY(Near(title.left, 32));
        QVERIFY(Near(title.top, 16));
        const PdfWord table = Only(content, QStringLiteral("桌号：3号桌"));
        QVERIFY(Near(table.left, 13));
        QVERIFY(Near(table.top, 26));
        QVERIFY(Near(Only(content, QStringLiteral("打印时间：2026-03-07")).top, 32));
        QCOMPARE(Only(content, QStringLiteral("18:05")).top,
                 Only(content, QStringLiteral("打印时间：2026-03-07")).top);
        // The restaurant name is centred over the 65 mm of content.
        const PdfWord name = Only(content, QStringLiteral("澄槿小馆"));
        QVERIFY(Near((name.left + name.right) / 2, 13 + 32.5));
        QVERIFY(Near(name.top, 8));
    }

    void emptyBillPutsTheTotalsUnderTheHeadings() {
        const PdfContent content = Render(BillDocument(SampleBill()), kA4, pdf(QStringLiteral("empty")));
        const PdfWord heading = Only(content, QStringLiteral("名称"));
        QVERIFY(Near(heading.top, 40));
        QVERIFY(Near(Only(content, QStringLiteral("数量")).left, 13 + 39));
        QVERIFY(Near(Only(content, QStringLiteral("金额")).left, 13 + 55));
        // Totals block: the line after the headings, 1 mm, the rule, then 2 mm down.
        const double total = heading.top + TextHeightMm(SerifFont(11, false)) + 3;
        QVERIFY(Near(Only(content, QStringLiteral("合计：12.50")).top, total));
        QVERIFY(Near(Only(content, QStringLiteral("实收：12.50")).top, total + 6));
        QVERIFY(Near(Only(content, QStringLiteral("地址：河西路8号")).top, total + 13));
        QVERIFY(Near(Only(content, QStringLiteral("电话：12345678")).top, total + 19));
    }

    void billAmounts_data() {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("receivable");
        QTest::addColumn<QString>("received");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("whole") << "28"
                               << "28"
                               << "30" << QStringList{"28.00", "合计：28.00", "实收：30.00"};
        QTest::newRow("half") << "12.5"
                              << "12.5"
                              << "12.5" << QStringList{"12.50", "合计：12.50", "实收：12.50"};
        QTest::newRow("rounds half up") << "2.675"
                                        << "2.675"
                                        << "" << QStringList{"2.68", "合计：2.68", "实收："};
        QTest::newRow("not a number") << "面议"
                                      << ""
                                      << "abc" << QStringList{"面议", "合计：", "实收：abc"};
    }

    void billAmounts() {
        QFETCH(QString, amount);
        QFETCH(QString, receivable);
        QFETCH(QString, received);
        QFETCH(QStringList, expected);
        BillData bill = SampleBill(
            {Line(QStringLiteral("宫保鸡丁"), QStringLiteral("2"), QStringLiteral("份"), amount, {}, kMark)});
        bill.receivable = receivable;
        bill.received = received;
        const PdfContent content = Render(BillDocument(bill), kA4, pdf(QStringLiteral("amounts")));

        const PdfWord name = Only(content, QStringLiteral("宫保鸡丁"));
        QVERIFY(Near(name.top, 47));
        QVERIFY(Near(name.left, 13));
        const PdfWord quantity = Only(content, QStringLiteral("2份"));
        QVERIFY(Near(quantity.left, 13 + 40));
        QCOMPARE(quantity.top, name.top);
        const PdfWord money = Only(content, expected[0]);
        QVERIFY(Near(money.left, 13 + 54));
        QCOMPARE(money.top, name.top);
        const PdfWord total = Only(content, expected[1]);
        const PdfWord paid = Only(content, expected[2]);
        QVERIFY(Near(paid.top - total.top, 6));
        QVERIFY(Near(total.top, 47 + TextHeightMm(SerifFont(11, false)) + 3));
    }

    void longBillGoesOnDownAndOverPages() {
        // Past the 97th line a 16-bit offset would wrap.
        const BillData bill = SampleBill(NumberedDishes(120));
        const ReceiptDocument document = BillDocument(bill);

        const PdfContent tall = Render(document, QSizeF(80, 1000), pdf(QStringLiteral("tall-bill")));
        QCOMPARE(tall.pages.size(), 1);
        for (int i = 90; i < 120; ++i)
            QVERIFY(Near(Only(tall, QStringLiteral("菜%1").arg(i)).top, 47 + i * 340 / 56.7));

        const PdfContent paged = Render(document, kA4, pdf(QStringLiteral("paged-bill")));
        QCOMPARE(paged.pages.size(), 3);
        for (const PdfWord& word : paged.words)
            QVERIFY2(word.bottom <= kA4.height(), qPrintable(word.text));
        QCOMPARE(Only(paged, QStringLiteral("菜0")).page, 0);
        QCOMPARE(Only(paged, QStringLiteral("菜119")).page, 2);
        const PdfWord firstOnSecond = paged.onPage(1).value(0);
        QVERIFY(firstOnSecond.text.startsWith(QStringLiteral("菜")));
        QVERIFY(Near(firstOnSecond.top, 10));
        QCOMPARE(Only(paged, QStringLiteral("电话：12345678")).page, 2);
        QCOMPARE(paged.find(QStringLiteral("10.00")).size(), 120);
    }
};

QTEST_MAIN(PrintLayoutTest)
#include "test_print_layout.moc"
