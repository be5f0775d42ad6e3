#include "print/Transport.h"

#include "print/CupsTransport.h"
#include "print/TcpTransport.h"
#include "print/TicketEncoder.h"
#include "print/UsbTransport.h"

namespace {

class RefusingTransport : public PrinterTransport {
public:
    explicit RefusingTransport(QString why) : why_(std::move(why)) {}
    Delivery deliver(const PrintJob&, const Printer&, std::stop_token) override {
        return Delivery::NotSent(why_);
    }

private:
    QString why_;
};

} // namespace

Delivery RawTransport::deliver(const PrintJob& job, const Printer& printer, std::stop_token stop) {
    return send(EncodeJob(job, printer), std::move(stop));
}

std::unique_ptr<PrinterTransport> MakeRawTransport(const Printer& printer) {
    QString why;
    const std::optional<PrinterAddress> address = PrinterAddress::Parse(printer.address, &why);
    if (!address)
        return std::make_unique<RefusingTransport>(QStringLiteral("地址不对：") + why);
    switch (address->kind) {
    case PrinterAddress::Kind::Tcp:
        return std::make_unique<TcpTransport>(address->host, address->port);
    case PrinterAddress::Kind::Usb:
        return std::make_unique<UsbTransport>(address->path);
    case PrinterAddress::Kind::Cups:
        return std::make_unique<CupsTransport>(address->path);
    case PrinterAddress::Kind::System:
        break;
    }
    return std::make_unique<RefusingTransport>(QStringLiteral("系统打印机只能由收银程序打印"));
}
