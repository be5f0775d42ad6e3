#pragma once

#include "print/Printing.h"
#include "print/Transport.h"

#include <QPointer>

class QObject;
class SettingsStore;

// A `system` printer: the job is painted as pages (the same layouts as before printers were set up) on the
// desktop's default printer. Painting must happen on the windows' thread, so the spooler's thread hands
// the job over to `context`'s thread and waits for it there.
class PageTransport : public PrinterTransport {
public:
    PageTransport(QObject* context, SettingsStore& settings) : context_(context), settings_(settings) {}
    Delivery deliver(const PrintJob& job, const Printer& printer, std::stop_token stop) override;

private:
    QPointer<QObject> context_;
    SettingsStore& settings_;
};

// What the counter program sends jobs with: pages for `system` printers, raw ESC/POS for the others.
TransportFactory CounterTransports(QObject* context, SettingsStore& settings);

// Paints one job on pages of the default printer (or the one `printerSource` gives); on the windows' thread.
Delivery PrintJobOnPages(const PrintJob& job, SettingsStore& settings,
                         const PrinterSource& printerSource = DefaultPrinter);
