#include "PdfWords.h"
#include "common/MessageBoxes.h"
#include "common/TestHome.h"
#include "print/BillPreviewWindow.h"
#include "print/Printing.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {
OrderLine Line(const QString& name, const QString& mark) {
    return {kDishes, name, "1", "份", "10", "10", {}, mark, {}, {}, {}};
}

BillData Bill(const QString& table, int lineCount) {
    BillData bill{QStringLiteral("澄槿小馆"), {}, {}, table, {},
                  QStringLiteral("30"),       {}, 0,  0,     QDateTime(QDate(2026, 3, 7), QTime(18, 5))};
    for (int i = 0; i < lineCount; ++i)
        bill.lines.append(Line(QStringLiteral("菜%1").arg(i), kMark));
    return bill;
}

// A printer writing a PDF file; counts how often a printer was asked for. defaultMarginMm is the page
// margin its driver would set.
PrinterSource PdfPrinter(const QString& path, int* requests, double defaultMarginMm = 0) {
    return [path, requests, defaultMarginMm](QString&) {
        ++*requests;
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(path);
        if (defaultMarginMm > 0)
            printer->setPageMargins(
                QMarginsF(defaultMarginMm, defaultMarginMm, defaultMarginMm, defaultMarginMm),
                QPageLayout::Millimeter);
        return printer;
    };
}

bool Near(double mm, double expected) {
    return std::abs(mm - expected) <= 1.5;
}

void CloseAndDelete(QWidget* window) {
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace

class PrintWindowsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString pdf(const QString& name) const { return dir_.filePath(name + QStringLiteral(".pdf")); }

private Q_SLOTS:
    void noMarkedLineSaysSoAndPrintsNothing() {
        QVERIFY(!HasKitchenLines({Line("啤酒", {}), Line("米饭", "x")}));
        QVERIFY(HasKitchenLines({Line("啤酒", {}), Line("米饭", kMark)}));
        int requests = 0;
        const KitchenTicketData ticket{QStringLiteral("3号桌"), {Line("啤酒", {})}, 10, 10};
        bool printed = true;
        const QString shown = MessageShownBy(
            [&] { printed = PrintKitchenTicket(nullptr, ticket, PdfPrinter(pdf("none"), &requests)); });
        QCOMPARE(shown, QStringLiteral("请首先选择需要后厨打印的菜品名称！|提示"));
        QVERIFY(!printed);
        QCOMPARE(requests, 0);
    }

    void missingOrFailingPrinterIsReported() {
        int requests = 0;
        const KitchenTicketData ticket{QStringLiteral("3号桌"), {Line("米饭", kMark)}, 10, 10};
        const PrinterSource unreachable = PdfPrinter(dir_.filePath("no-such-folder/ticket.pdf"), &requests);
        bool printed = true;
        const QString failed =
            MessageShownBy([&] { printed = PrintKitchenTicket(nullptr, ticket, unreachable); });
        QVERIFY2(failed.contains(QStringLiteral("未打印")), qPrintable(failed));
        QVERIFY(!printed);

        if (!QPrinterInfo::defaultPrinter().isNull())
            QSKIP("this machine has a default printer; the test would print on it");
        TestHome home;
        const auto db = home.createDatabase();
        SettingsStore settings(*db);
        QCOMPARE(MessageShownBy([&] { PrintKitchenTicketFor(nullptr, "3号桌", ticket.lines, settings); }),
                 QStringLiteral("未找到打印机|提示"));
    }

    // A driver's default page margin does not move the ticket: with the settings' margins 10/10 the table
    // name stands 7 mm from the left and 10 mm from the top of the page, the first row 22 mm from the top.
    void kitchenTicketKeepsItsPlaceWhateverThePrintersMargin() {
        int requests = 0;
        const QString path = pdf(QStringLiteral("ticket-margin"));
        const KitchenTicketData ticket{QStringLiteral("3号桌"), {Line("米饭", kMark)}, 10, 10};
        QVERIFY(PrintKitchenTicket(nullptr, ticket, PdfPrinter(path, &requests, 12.7)));
        const PdfContent content = ReadPdfWords(path);
        if (content.pages.isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        const QList<PdfWord> table = content.find(QStringLiteral("桌号：3号桌"));
        QCOMPARE(table.size(), 1);
        QVERIFY2(Near(table[0].left, 7) && Near(table[0].top, 10),
                 qPrintable(QStringLiteral("table name at %1, %2 mm").arg(table[0].left).arg(table[0].top)));
        const QList<PdfWord> row = content.find(QStringLiteral("米饭"));
        QCOMPARE(row.size(), 1);
        QVERIFY2(Near(row[0].left, 7) && Near(row[0].top, 5 + 17),
                 qPrintable(QStringLiteral("first row at %1, %2 mm").arg(row[0].left).arg(row[0].top)));
    }

    void messageBoxesShowTheirTitleWhole_data() {
        QTest::addColumn<QString>("title");
        QTest::newRow("提示") << kHintTitle;
        QTest::newRow("program title") << kProgramTitle;
    }

    // The title bar also holds the window icon and three buttons (about 150 pixels together); a box only
    // as wide as "未找到打印机" and its OK button shows "…" for the title.
    void messageBoxesShowTheirTitleWhole() {
        QFETCH(QString, title);
        const KitchenTicketData ticket{QStringLiteral("3号桌"), {Line("米饭", kMark)}, 10, 10};
        const PrinterSource none = [](QString&) { return std::unique_ptr<QPrinter>(); };
        const MessageBoxAnswerer answerer;
        if (title == kHintTitle)
            PrintKitchenTicket(nullptr, ticket, none);
        else
            ShowMessage(nullptr, kNoPrinterMessage, title);
        QCOMPARE(answerer.shown().size(), 1);
        const ShownMessage& box = answerer.shown().first();
        QCOMPARE(box.text, kNoPrinterMessage);
        QCOMPARE(box.title, title);
        QFont bold = QApplication::font("QMessageBox");
        bold.setBold(true);
        const int needed = QFontMetrics(bold).horizontalAdvance(title) + 150;
        QVERIFY2(box.size.width() >= needed,
                 qPrintable(QStringLiteral("%1 < %2").arg(box.size.width()).arg(needed)));
    }

    void billPrintsOnAReceiptRollAsLongAsTheBill_data() {
        QTest::addColumn<int>("lineCount");
        QTest::newRow("short") << 3;
        QTest::newRow("120 lines") << 120;
    }

    void billPrintsOnAReceiptRollAsLongAsTheBill() {
        QFETCH(int, lineCount);
        int requests = 0;
        const BillData bill = Bill(QStringLiteral("3号桌"), lineCount);
        const QString path = pdf(QStringLiteral("roll-%1").arg(lineCount));
        QVERIFY(PrintBill(nullptr, bill, PdfPrinter(path, &requests)));
        const PdfContent content = ReadPdfWords(path);
        QCOMPARE(content.pages.size(), 1);
        const double billEnd = BillReceiptDocument(bill).endMm();
        QVERIFY(std::abs(content.pages[0].width() - 80) < 0.5);
        QVERIFY(content.pages[0].height() > billEnd && content.pages[0].height() < billEnd + 10);
        QCOMPARE(content.find(QStringLiteral("菜%1").arg(lineCount - 1)).size(), 1);
        QCOMPARE(content.find(QStringLiteral("合计：30.00")).size(), 1);
    }

    void previewIsOneScrollingWindowWithThePrintButton() {
        BillPreviewWindow* window = ShowBillPreview(nullptr, Bill(QStringLiteral("3号桌"), 120));
        QCOMPARE(window->objectName(), QStringLiteral("billPreviewWindow"));
        QCOMPARE(window->windowTitle(), QStringLiteral("打印预览"));
        auto* area = window->findChild<QScrollArea*>(QStringLiteral("previewArea"));
        QVERIFY(area && IsFramed(area));
        QVERIFY(area->verticalScrollBar()->maximum() > 0);
        QVERIFY(area->widget()->height() >=
                window->document().endMm() * area->widget()->logicalDpiY() / 25.4);
        QCOMPARE(window->findChild<QLabel*>()->text(), QStringLiteral("本软件支持80mm热敏小票打印机"));

        // Opening again while it is open shows the same window, still drawing the first bill.
        QCOMPARE(ShowBillPreview(nullptr, Bill(QStringLiteral("5号桌"), 1)), window);
        QCOMPARE(window->bill().tableName, QStringLiteral("3号桌"));

        int requests = 0;
        window->setPrinterSource(PdfPrinter(pdf("button"), &requests));
        window->findChild<QPushButton*>(QStringLiteral("printButton"))->click();
        QCOMPARE(requests, 1);
        QCOMPARE(ReadPdfWords(pdf("button")).find(QStringLiteral("菜119")).size(), 1);

        CloseAndDelete(window);
        BillPreviewWindow* next = ShowBillPreview(nullptr, Bill(QStringLiteral("5号桌"), 1));
        QCOMPARE(next->bill().tableName, QStringLiteral("5号桌"));
        CloseAndDelete(next);
    }
};

QTEST_MAIN(PrintWindowsTest)
#include "test_print_windows.moc"
