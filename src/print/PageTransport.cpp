#include "print/PageTransport.h"

#include "print/KitchenTicket.h"
#include "print/Printing.h"
#include "settings/SettingsStore.h"
#include "store/StoreError.h"

#include <QMetaObject>
#include <future>

namespace {

// A report on a page: the title, then each row's label with its value in a column to the right.
ReceiptDocument ReportPageDocument(const PrintJob& job, double leftMm, double topMm) {
    constexpr double kRowMm = 6;
    constexpr double kValueMm = 100;
    ReceiptDocument document;
    double y = topMm;
    document.addText(leftMm, y, SerifFont(16, true), job.title);
    y += 10;
    for (const auto& [label, value] : job.rows) {
        document.addText(leftMm, y, SerifFont(11, value.isEmpty()), label);
        if (!value.isEmpty())
            document.addText(leftMm + kValueMm, y, SerifFont(11, false), value);
        y += kRowMm;
    }
    document.addText(leftMm, y + 2, SerifFont(10, false),
                     QStringLiteral("打印时间：") +
                         job.created.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    document.setEndMm(y + 10);
    document.setContinueTopMm(topMm);
    return document;
}

} // namespace

Delivery PrintJobOnPages(const PrintJob& job, SettingsStore& settings, const PrinterSource& printerSource) {
    QString whyNot;
    const std::unique_ptr<QPrinter> printer = printerSource(whyNot);
    // The main window puts the reason after the printer's name: "厨房打印机未找到，1 张待打印".
    if (!printer)
        return Delivery::NotSent(whyNot == kNoPrinterMessage ? QStringLiteral("未找到")
                                                             : QStringLiteral("不可用"));
    ReceiptDocument document;
    try {
        switch (job.kind) {
        case JobKind::Kitchen: {
            QList<OrderLine> lines = job.lines;
            for (OrderLine& line : lines)
                line.kitchenMark = kMark;
            document = KitchenTicketDocument(
                {job.tableName, lines, settings.leftMarginMm(), settings.topMarginMm()});
            break;
        }
        case JobKind::Bill:
            document = BillReceiptDocument(job.bill);
            UseReceiptRoll(*printer, document);
            break;
        case JobKind::TestPage:
            document.addText(settings.leftMarginMm(), settings.topMarginMm(), SerifFont(16, true),
                             QStringLiteral("打印测试页"));
            document.setEndMm(settings.topMarginMm() + 20);
            break;
        case JobKind::Drawer:
            // A page printer has no drawer to open.
            return Delivery::Accepted();
        case JobKind::Report:
            document = ReportPageDocument(job, settings.leftMarginMm(), settings.topMarginMm());
            break;
        }
    } catch (const StoreError& error) {
        return Delivery::NotSent(error.text());
    }
    printer->setDocName(JobKindText(job.kind));
    const QString error = PrintReceipt(*printer, document);
    return error.isEmpty() ? Delivery::Accepted() : Delivery::MaybeSent(error);
}

Delivery PageTransport::deliver(const PrintJob& job, const Printer&, std::stop_token stop) {
    auto result = std::make_shared<std::promise<Delivery>>();
    std::future<Delivery> done = result->get_future();
    SettingsStore* settings = &settings_;
    const bool queued =
        context_ &&
        QMetaObject::invokeMethod(
            context_.data(), [result, job, settings] { result->set_value(PrintJobOnPages(job, *settings)); },
            Qt::QueuedConnection);
    if (!queued)
        return Delivery::NotSent(QStringLiteral("程序正在退出"));
    while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
        if (stop.stop_requested())
            // The page may yet be printed by the windows' thread: a later copy says 补打.
            return Delivery::MaybeSent(QStringLiteral("程序正在退出"));
    return done.get();
}

TransportFactory CounterTransports(QObject* context, SettingsStore& settings) {
    return [context = QPointer<QObject>(context),
            &settings](const Printer& printer) -> std::unique_ptr<PrinterTransport> {
        const std::optional<PrinterAddress> address = PrinterAddress::Parse(printer.address);
        if (address && address->kind == PrinterAddress::Kind::System)
            return std::make_unique<PageTransport>(context.data(), settings);
        return MakeRawTransport(printer);
    };
}
