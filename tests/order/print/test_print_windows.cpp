#include "PdfWords.h"
#include "common/TestHome.h"
#include "order/BillPreviewWindow.h"
#include "order/Printing.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {
OrderLine Line(const QString& name, const QString& mark) {
    OrderLine line;
    line.category = mark.isEmpty() ? kDrinks : kDishes;
    line.name = name;
    line.quantity = QStringLiteral("1");
    line.unit = QStringLiteral("份");
    line.price = QStringLiteral("10");
    line.amount = QStringLiteral("10");
    line.kitchenMark = mark;
    return line;
}

QList<OrderLine> Dishes(int count) {
    QList<OrderLine> lines;
    for (int i = 0; i < count; ++i)
        lines.append(Line(QStringLiteral("菜%1").arg(i), kMark));
    return lines;
}

BillData Bill(const QString& table, QList<OrderLine> lines) {
    BillData bill;
    bill.restaurantName = QStringLiteral("澄槿小馆");
    bill.tableName = table;
    bill.lines = std::move(lines);
    bill.receivable = QStringLiteral("30");
    bill.printTime = QDateTime(QDate(2026, 3, 7), QTime(18, 5));
    return bill;
}

// A printer writing a PDF file; counts how often a printer was asked for.
PrinterSource PdfPrinter(const QString& path, int* requests) {
    return [path, requests](QString&) {
        ++*requests;
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(path);
        return printer;
    };
}

// Runs the action and answers the message box it shows; "text|title", or empty when none was shown.
QString MessageShownBy(const std::function<void()>& action) {
    QString shown;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text() + QLatin1Char('|') + box->windowTitle();
            box->accept();
        }
    });
    timer.start(0);
    action();
    return shown;
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
    void initTestCase() {
        QVERIFY(dir_.isValid());
        if (qEnvironmentVariableIsSet("CJ_KEEP_PDF")) {
            dir_.setAutoRemove(false);
            qInfo() << "output in" << dir_.path();
        }
    }

    void kitchenLines_data() {
        QTest::addColumn<QList<OrderLine>>("lines");
        QTest::addColumn<bool>("expected");
        QTest::newRow("empty order") << QList<OrderLine>{} << false;
        QTest::newRow("drinks only") << QList<OrderLine>{Line("啤酒", {}), Line("可乐", {})} << false;
        QTest::newRow("other mark text") << QList<OrderLine>{Line("米饭", "x")} << false;
        QTest::newRow("last line marked") << QList<OrderLine>{Line("啤酒", {}), Line("米饭", kMark)} << true;
    }

    void kitchenLines() {
        QFETCH(QList<OrderLine>, lines);
        QFETCH(bool, expected);
        QCOMPARE(HasKitchenLines(lines), expected);
    }

    void noMarkedLineSaysSoAndPrintsNothing() {
        int requests = 0;
        const KitchenTicketData ticket{QStringLiteral("3号桌"), {Line("啤酒", {})}, 10, 10};
        bool printed = true;
        const QString shown = MessageShownBy(
            [&] { printed = PrintKitchenTicket(nullptr, ticket, PdfPrinter(pdf("none"), &requests)); });
        QCOMPARE(shown, QStringLiteral("请首先选择需要后厨打印的菜品名称！|提示"));
        QVERIFY(!printed);
        QCOMPARE(requests, 0);
        QVERIFY(!QFile::exists(pdf("none")));
    }

    void missingDefaultPrinterIsReported() {
        if (!QPrinterInfo::defaultPrinter().isNull())
            QSKIP("this machine has a default printer; the test would print on it");
        TestHome home;
        const auto db = home.createDatabase();
        SettingsStore settings(*db);
        const QList<OrderLine> lines{Line("米饭", kMark)};
        const QString shown =
            MessageShownBy([&] { PrintKitchenTicketFor(nullptr, "3号桌", lines, settings); });
        QCOMPARE(shown, QStringLiteral("未找到打印机|提示"));
        bool printed = true;
        const QString billShown = MessageShownBy([&] { printed = PrintBill(nullptr, Bill("3号桌", lines)); });
        QCOMPARE(billShown, QStringLiteral("未找到打印机|提示"));
        QVERIFY(!printed);
    }

    void printerThatCannotStartIsReported() {
        int requests = 0;
        const QString unreachable = dir_.filePath(QStringLiteral("no-such-folder/ticket.pdf"));
        const KitchenTicketData ticket{QStringLiteral("3号桌"), Dishes(2), 10, 10};
        bool printed = true;
        const QString shown = MessageShownBy(
            [&] { printed = PrintKitchenTicket(nullptr, ticket, PdfPrinter(unreachable, &requests)); });
        QVERIFY2(shown.contains(QStringLiteral("未打印")), qPrintable(shown));
        QVERIFY(!printed);
        QCOMPARE(requests, 1);
    }

    void ticketGoesToThePrinterAndMarksStay() {
        int requests = 0;
        const QList<OrderLine> lines{Line("米饭", kMark), Line("啤酒", {}), Line("回锅肉", kMark)};
        const KitchenTicketData ticket{QStringLiteral("3号桌"), lines, 10, 10};
        bool printed = false;
        const QString shown = MessageShownBy(
            [&] { printed = PrintKitchenTicket(nullptr, ticket, PdfPrinter(pdf("ticket"), &requests)); });
        QVERIFY(shown.isEmpty());
        QVERIFY(printed);
        QCOMPARE(ticket.lines, lines);
        const PdfContent content = ReadPdfWords(pdf("ticket"));
        QCOMPARE(content.find(QStringLiteral("桌号：3号桌")).size(), 1);
        QCOMPARE(content.find(QStringLiteral("米饭")).size(), 1);
        QCOMPARE(content.find(QStringLiteral("回锅肉")).size(), 1);
        QVERIFY(content.find(QStringLiteral("啤酒")).isEmpty());
    }

    void billPrintsOnAReceiptRollAsLongAsTheBill_data() {
        QTest::addColumn<int>("lineCount");
        QTest::newRow("short") << 3;
        QTest::newRow("120 lines") << 120;
    }

    void billPrintsOnAReceiptRollAsLongAsTheBill() {
        QFETCH(int, lineCount);
        int requests = 0;
        const BillData bill = Bill(QStringLiteral("3号桌"), Dishes(lineCount));
        const QString path = pdf(QStringLiteral("roll-%1").arg(lineCount));
        QVERIFY(PrintBill(nullptr, bill, PdfPrinter(path, &requests)));
        const PdfContent content = ReadPdfWords(path);
        QCOMPARE(content.pages.size(), 1);
        QVERIFY(std::abs(content.pages[0].width() - 80) < 0.5);
        const double billEnd = BillDocument(bill).endMm();
        QVERIFY(content.pages[0].height() > billEnd);
        QVERIFY(content.pages[0].height() < billEnd + 10);
        QCOMPARE(content.find(QStringLiteral("菜%1").arg(lineCount - 1)).size(), 1);
        QCOMPARE(content.find(QStringLiteral("合计：30.00")).size(), 1);
    }

    void previewIsOneWindowShowingTheBillItOpenedWith() {
        BillPreviewWindow* window = ShowBillPreview(nullptr, Bill(QStringLiteral("3号桌"), Dishes(2)));
        QVERIFY(window);
        QCOMPARE(window->objectName(), QStringLiteral("Form2"));
        QCOMPARE(window->windowTitle(), QStringLiteral("打印预览"));
        auto* area = window->findChild<QScrollArea*>(QStringLiteral("Picture1"));
        QVERIFY(area);
        QVERIFY(IsFramed(area));
        bool noteShown = false;
        for (const QLabel* label : window->findChildren<QLabel*>())
            noteShown |= label->text() == QStringLiteral("本软件支持80mm热敏小票打印机");
        QVERIFY(noteShown);
        if (qEnvironmentVariableIsSet("CJ_KEEP_PDF")) {
            QCoreApplication::processEvents();
            window->grab().save(dir_.filePath(QStringLiteral("preview.png")));
        }

        // Opening again while it is open shows the same window, still drawing the first bill.
        QCOMPARE(ShowBillPreview(nullptr, Bill(QStringLiteral("5号桌"), Dishes(1))), window);
        QCOMPARE(window->bill().tableName, QStringLiteral("3号桌"));

        CloseAndDelete(window);
        BillPreviewWindow* next = ShowBillPreview(nullptr, Bill(QStringLiteral("5号桌"), Dishes(1)));
        QCOMPARE(next->bill().tableName, QStringLiteral("5号桌"));
        CloseAndDelete(next);
    }

    void longBillScrollsInThePreview() {
        BillPreviewWindow* shortBill = ShowBillPreview(nullptr, Bill(QStringLiteral("3号桌"), Dishes(2)));
        auto* area = shortBill->findChild<QScrollArea*>(QStringLiteral("Picture1"));
        QCOMPARE(area->verticalScrollBar()->maximum(), 0);
        CloseAndDelete(shortBill);

        BillPreviewWindow* longBill = ShowBillPreview(nullptr, Bill(QStringLiteral("3号桌"), Dishes(120)));
        area = longBill->findChild<QScrollArea*>(QStringLiteral("Picture1"));
        QVERIFY(area->verticalScrollBar()->maximum() > 0);
        // The whole bill, down to the telephone line, lies on the scrolled paper.
        const double dotsPerMm = area->widget()->logicalDpiY() / 25.4;
        QVERIFY(area->widget()->height() >= longBill->document().endMm() * dotsPerMm);
        CloseAndDelete(longBill);
    }

    void previewPrintButtonPrintsTheSameBill() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        int requests = 0;
        BillPreviewWindow* window = ShowBillPreview(nullptr, Bill(QStringLiteral("3号桌"), Dishes(2)));
        window->setPrinterSource(PdfPrinter(pdf("button"), &requests));
        window->findChild<QPushButton*>(QStringLiteral("CommandPrint"))->click();
        QCOMPARE(requests, 1);
        const PdfContent content = ReadPdfWords(pdf("button"));
        QCOMPARE(content.find(QStringLiteral("打印时间：2026-03-07")).size(), 1);
        QCOMPARE(content.find(QStringLiteral("菜1")).size(), 1);
        CloseAndDelete(window);
    }
};

QTEST_MAIN(PrintWindowsTest)
#include "test_print_windows.moc"
