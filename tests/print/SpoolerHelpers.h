#pragma once

#include "FakePrinter.h"

#include "print/PrintSpooler.h"
#include "print/Printer.h"

#include <QCoreApplication>
#include <thread>

// Spooler settings that retry at once and look at the database often, so waits in the tests stay short.
inline SpoolerOptions FastOptions() {
    SpoolerOptions options;
    options.poll = std::chrono::milliseconds(20);
    options.serverPoll = std::chrono::milliseconds(20);
    options.firstRetry = std::chrono::milliseconds(20);
    options.longestRetry = std::chrono::milliseconds(100);
    return options;
}

inline Printer NetworkPrinter(const QString& name, const FakePrinter& fake,
                              const QStringList& categories = {}) {
    Printer printer;
    printer.name = name;
    printer.address = fake.address();
    printer.categories = categories;
    return printer;
}

// The ticket numbers printed, in the order they arrived.
inline QList<int> TicketNumbers(const FakePrinter& printer) {
    QList<int> numbers;
    for (const PrintedPaper& paper : printer.papers())
        for (const QString& line : paper.lines)
            if (line.startsWith(QStringLiteral("单号：")))
                numbers.append(line.mid(3).toInt());
    return numbers;
}

inline QString Text(const PrintedPaper& paper) {
    return paper.lines.join(QLatin1Char('\n'));
}

// Waits (bounded) for a condition, letting queued signals arrive.
template <class Condition> bool WaitUntil(Condition condition, int maxMs = 10000) {
    for (int waited = 0; waited < maxMs; waited += 10) {
        if (condition())
            return true;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}
