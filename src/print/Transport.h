#pragma once

#include "print/JobStore.h"
#include "print/Printer.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <stop_token>

// What became of one send.
struct Delivery {
    enum class Outcome {
        Accepted, // the printer took every byte
        NotSent,  // nothing reached the printer: send it again as it is
        MaybeSent // cut off after bytes went out: the next copy may be a second one and says 补打
    };
    Outcome outcome = Outcome::NotSent;
    QString trouble; // why it was not accepted, as the main window shows it ("未连接", "缺纸" ...)

    static Delivery Accepted() { return {Outcome::Accepted, {}}; }
    static Delivery NotSent(const QString& why) { return {Outcome::NotSent, why}; }
    static Delivery MaybeSent(const QString& why) { return {Outcome::MaybeSent, why}; }
};

// The way to one printer. A transport is used by one thread at a time; it may keep what it learnt about its
// printer between sends (such as whether it answers status requests).
class PrinterTransport {
public:
    virtual ~PrinterTransport() = default;
    // Sends the job and waits until the printer accepted it or the send failed. Gives up soon after `stop`
    // is requested.
    virtual Delivery deliver(const PrintJob& job, const Printer& printer, std::stop_token stop) = 0;
};

// Transports of raw ESC/POS bytes: the job is encoded for the printer's paper, then sent.
class RawTransport : public PrinterTransport {
public:
    Delivery deliver(const PrintJob& job, const Printer& printer, std::stop_token stop) final;

protected:
    virtual Delivery send(const QByteArray& bytes, std::stop_token stop) = 0;
};

using TransportFactory = std::function<std::unique_ptr<PrinterTransport>(const Printer&)>;

// The transport for a tcp://, usb: or cups: address. A system printer prints pages, which only the counter
// program's windows can do: its transport here refuses every job and says so.
std::unique_ptr<PrinterTransport> MakeRawTransport(const Printer& printer);
