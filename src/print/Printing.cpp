#include "print/Printing.h"

#include "settings/SettingsStore.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>

namespace {
constexpr double kRollWidthMm = 80;
// Paper left below the last line so it can be torn off.
constexpr double kRollTailMm = 5;
// Longer bills go on over several roll pages rather than one page no driver takes.
constexpr double kMaxRollLengthMm = 2000;

QString PrinterLabel(const QPrinter& printer) {
    return printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : printer.printerName();
}

bool PrintOn(QWidget* parent, const ReceiptDocument& document, const QString& docName,
             const PrinterSource& printerSource, bool receiptRoll) {
    QString whyNot;
    const std::unique_ptr<QPrinter> printer = printerSource(whyNot);
    if (!printer) {
        ShowMessage(parent, whyNot.isEmpty() ? kNoPrinterMessage : whyNot);
        return false;
    }
    printer->setDocName(docName);
    if (receiptRoll)
        UseReceiptRoll(*printer, document);
    else
        DropDefaultMargins(*printer);
    const QString error = PrintReceipt(*printer, document);
    if (!error.isEmpty()) {
        ShowMessage(parent, error);
        return false;
    }
    return true;
}
} // namespace

std::unique_ptr<QPrinter> DefaultPrinter(QString& whyNot) {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        whyNot = kNoPrinterMessage;
        return nullptr;
    }
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    if (!printer->isValid()) {
        whyNot = QStringLiteral("打印机“%1”不可用，未打印。").arg(info.printerName());
        return nullptr;
    }
    return printer;
}

QString PrintReceipt(QPrinter& printer, const ReceiptDocument& document) {
    QPainter painter;
    if (!painter.begin(&printer))
        return QStringLiteral("无法使用打印机“%1”，未打印。").arg(PrinterLabel(printer));
    const bool allPages = PaintReceiptPaged(painter, printer, document);
    painter.end();
    if (!allPages || printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted)
        return QStringLiteral("打印机“%1”出错，打印没有完成。").arg(PrinterLabel(printer));
    return {};
}

void DropDefaultMargins(QPrinter& printer) {
    printer.setFullPage(false);
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

void UseReceiptRoll(QPrinter& printer, const ReceiptDocument& document) {
    printer.setPageOrientation(QPageLayout::Portrait);
    DropDefaultMargins(printer);
    // A printer that cannot print to the edge keeps its own margins; the page grows by them.
    const QMarginsF margins = printer.pageLayout().margins(QPageLayout::Millimeter);
    const double length =
        std::min(document.endMm() + margins.top() + margins.bottom() + kRollTailMm, kMaxRollLengthMm);
    printer.setPageSize(QPageSize(QSizeF(kRollWidthMm, length), QPageSize::Millimeter, QStringLiteral("80mm"),
                                  QPageSize::ExactMatch));
}

bool PrintKitchenTicket(QWidget* parent, const KitchenTicketData& ticket,
                        const PrinterSource& printerSource) {
    if (!HasKitchenLines(ticket.lines)) {
        ShowMessage(parent, kNoKitchenLinesMessage);
        return false;
    }
    return PrintOn(parent, KitchenTicketDocument(ticket), QStringLiteral("后厨打印"), printerSource, false);
}

void PrintKitchenTicketFor(QWidget* parent, const QString& tableName, const QList<OrderLine>& lines,
                           SettingsStore& settings) {
    if (!HasKitchenLines(lines)) {
        ShowMessage(parent, kNoKitchenLinesMessage);
        return;
    }
    KitchenTicketData ticket{tableName, lines, 0, 0};
    try {
        ticket.leftMarginMm = settings.leftMarginMm();
        ticket.topMarginMm = settings.topMarginMm();
    } catch (const StoreError& error) {
        ShowMessage(parent, error.text());
        return;
    }
    PrintKitchenTicket(parent, ticket);
}

bool PrintBill(QWidget* parent, const BillData& bill, const PrinterSource& printerSource) {
    return PrintOn(parent, BillReceiptDocument(bill), QStringLiteral("消费清单"), printerSource, true);
}
