#include "PdfWords.h"
#include "print/BillLayout.h"
#include "print/KitchenTicket.h"

#include <QPainter>
#include <QPdfWriter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Glyph boxes against layout positions: close enough to tell 6 mm rows apart.
constexpr double kToleranceMm = 1.5;
constexpr QSizeF kA4{210, 297};

OrderLine Dish(const QString& name, const QString& amount = QStringLiteral("10"), const QString& remark = {},
               const QString& mark = kMark) {
    return {kDishes, name, QStringLiteral("1"), QStringLiteral("份"), amount, amount, remark, mark, {},
            {},      {}};
}

QList<OrderLine> NumberedDishes(int count) {
    QList<OrderLine> lines;
    for (int i = 0; i < count; ++i)
        lines.append(Dish(QStringLiteral("菜%1").arg(i)));
    return lines;
}

BillData SampleBill(QList<OrderLine> lines = {}) {
    return {QStringLiteral("澄槿小馆"),
            QStringLiteral("河西路8号"),
            QStringLiteral("12345678"),
            QStringLiteral("3号桌"),
            std::move(lines),
            QStringLiteral("12.5"),
            QStringLiteral("12.5"),
            10,
            10,
            QDateTime(QDate(2026, 3, 7), QTime(18, 5))};
}

double BodyLineMm() {
    return TextHeightMm(SerifFont(11, false));
}

// A word that must appear exactly once; its box, or a box far off the page when it does not.
PdfWord Only(const PdfContent& content, const QString& text) {
    const QList<PdfWord> found = content.find(text);
    if (found.size() != 1)
        qWarning() << text << "found" << found.size() << "times";
    return found.size() == 1 ? found[0] : PdfWord{-1, text, -100, -100, -100, -100};
}

bool Near(double actual, double expected) {
    const bool near = std::abs(actual - expected) <= kToleranceMm;
    if (!near)
        qWarning() << "position" << actual << "expected" << expected;
    return near;
}
} // namespace

class PrintLayoutTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;

    // Paints on PDF pages with no page margins, so the printable area is the page, and reads the words back.
    PdfContent render(const ReceiptDocument& document, QSizeF pageMm = kA4) {
        const QString path = dir_.filePath(QString::fromLatin1(QTest::currentTestFunction()) + ".pdf");
        {
            QPdfWriter writer(path);
            writer.setPageSize(QPageSize(pageMm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
            writer.setPageMargins(QMarginsF(0, 0, 0, 0));
            QPainter painter(&writer);
            if (!PaintReceiptPaged(painter, writer, document))
                return {};
        }
        return ReadPdfWords(path);
    }

private Q_SLOTS:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        // CJ_KEEP_PDF=1 keeps the rendered pages for a look.
        dir_.setAutoRemove(!qEnvironmentVariableIsSet("CJ_KEEP_PDF"));
        qInfo() << "pages in" << dir_.path();
    }

    void ticketRowsFollowTheLineIndex() {
        // Margins 10/10: the ticket's own origin lies at (7, 5) on the printable area.
        const QList<OrderLine> lines{Dish(QStringLiteral("宫保鸡丁"), "28", QStringLiteral("不要辣")),
                                     Dish(QStringLiteral("啤酒"), "10", {}, {}),
                                     Dish(QStringLiteral("麻婆豆腐"))};
        const PdfContent content = render(KitchenTicketDocument({QStringLiteral("3号桌"), lines, 10, 10}));
        const PdfWord table = Only(content, QStringLiteral("桌号：3号桌"));
        QVERIFY(Near(table.left, 7) && Near(table.top, 10));
        QVERIFY(Near(Only(content, QStringLiteral("宫保鸡丁")).top, 5 + 17));
        QCOMPARE(Only(content, QStringLiteral("1份/不要辣")).top,
                 Only(content, QStringLiteral("宫保鸡丁")).top);
        QVERIFY(Near(Only(content, QStringLiteral("麻婆豆腐")).top, 5 + 33));
        QCOMPARE(content.find(QStringLiteral("1份")).size(), 1); // no "/" without a remark
        for (const PdfWord& word : content.words)
            QVERIFY2(std::abs(word.top - (5 + 25)) > kToleranceMm, qPrintable(word.text));
    }

    void smallMarginsStayOnThePaper() {
        BillData bill = SampleBill();
        bill.leftMarginMm = bill.topMarginMm = 0;
        const PdfContent ticket = render(KitchenTicketDocument({QStringLiteral("3号桌"), {}, 0, 0}));
        QVERIFY(Near(Only(ticket, QStringLiteral("桌号：3号桌")).left, 0));
        const PdfContent content = render(BillReceiptDocument(bill));
        QVERIFY(Near(Only(content, QStringLiteral("澄槿小馆")).top, 0));
        QVERIFY(Near(Only(content, QStringLiteral("消费清单")).top, 8));
    }

    void billHeaderAndEmptyOrder() {
        const PdfContent content = render(BillReceiptDocument(SampleBill()));
        const PdfWord title = Only(content, QStringLiteral("消费清单"));
        QVERIFY(Near(title.left, 32) && Near(title.top, 16));
        const PdfWord name = Only(content, QStringLiteral("澄槿小馆"));
        QVERIFY(Near((name.left + name.right) / 2, 13 + 32.5)); // centred over the 65 mm of content
        QVERIFY(Near(Only(content, QStringLiteral("打印时间：2026-03-07")).top, 32));
        const PdfWord heading = Only(content, QStringLiteral("名称"));
        QVERIFY(Near(heading.top, 40) && Near(Only(content, QStringLiteral("金额")).left, 13 + 55));
        // Totals right under the headings: one line, 1 mm, the rule, 2 mm.
        const double total = heading.top + BodyLineMm() + 3;
        QVERIFY(Near(Only(content, QStringLiteral("合计：12.50")).top, total));
        QVERIFY(Near(Only(content, QStringLiteral("电话：12345678")).top, total + 19));
    }

    void billAmounts_data() {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("received");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("whole") << "28"
                               << "30" << QStringList{"28.00", "实收：30.00"};
        QTest::newRow("half up") << "2.675"
                                 << "" << QStringList{"2.68", "实收："};
        QTest::newRow("not a number") << "面议"
                                      << "abc" << QStringList{"面议", "实收：abc"};
    }

    void billAmounts() {
        QFETCH(QString, amount);
        QFETCH(QString, received);
        QFETCH(QStringList, expected);
        BillData bill = SampleBill({Dish(QStringLiteral("宫保鸡丁"), amount)});
        bill.lines[0].quantity = QStringLiteral("2");
        bill.received = received;
        const PdfContent content = render(BillReceiptDocument(bill));
        const PdfWord name = Only(content, QStringLiteral("宫保鸡丁"));
        QVERIFY(Near(name.top, 47) && Near(name.left, 13));
        const PdfWord quantity = Only(content, QStringLiteral("2份"));
        const PdfWord money = Only(content, expected[0]);
        QVERIFY(Near(quantity.left, 13 + 40) && Near(money.left, 13 + 54));
        QVERIFY(quantity.top == name.top && money.top == name.top);
        const PdfWord total = Only(content, QStringLiteral("合计：12.50"));
        QVERIFY(Near(total.top, 47 + BodyLineMm() + 3));
        QVERIFY(Near(Only(content, expected[1]).top, total.top + 6));
    }

    void longOrdersGoOnDownAndOverPages_data() {
        QTest::addColumn<bool>("bill");
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<double>("firstRowTop");
        // A 16-bit row offset would wrap from the 74th ticket row and the 98th bill row.
        QTest::newRow("ticket") << false << 100 << 22.0;
        QTest::newRow("bill") << true << 120 << 47.0;
    }

    void longOrdersGoOnDownAndOverPages() {
        QFETCH(bool, bill);
        QFETCH(int, lineCount);
        QFETCH(double, firstRowTop);
        const QList<OrderLine> lines = NumberedDishes(lineCount);
        const PdfContent content =
            render(bill ? BillReceiptDocument(SampleBill(lines))
                        : KitchenTicketDocument({QStringLiteral("3号桌"), lines, 10, 10}));
        QCOMPARE(content.pages.size(), 3);
        PdfWord previous = Only(content, QStringLiteral("菜0"));
        QVERIFY(Near(previous.top, firstRowTop));
        for (int i = 1; i < lineCount; ++i) {
            const PdfWord row = Only(content, QStringLiteral("菜%1").arg(i));
            QVERIFY(row.bottom <= kA4.height());
            // Rows go down the page; a following page starts again at the top margin.
            QVERIFY(row.page == previous.page ? row.top > previous.top : Near(row.top, 10));
            QVERIFY(row.page == previous.page || row.page == previous.page + 1);
            previous = row;
        }
        QCOMPARE(previous.page, 2);
    }
};

QTEST_MAIN(PrintLayoutTest)
#include "test_print_layout.moc"
