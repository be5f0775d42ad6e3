#pragma once

#include "print/Transport.h"

#include <QList>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class Database;

struct SpoolerOptions {
    // Jobs go out as soon as they are committed: wake() from this process, the kernel's notice of each
    // write to the file's log, or a server's notices. Besides, the database is looked at this often in case
    // a notice was missed.
    std::chrono::milliseconds poll{1000};
    // On a server every new job sends a notice with its commit; the look is a safety net for a notice lost
    // with a dropped connection.
    std::chrono::milliseconds serverPoll{1000};
    // After a failed send the printer is tried again after this pause, doubled each time up to the longest.
    std::chrono::milliseconds firstRetry{500};
    std::chrono::milliseconds longestRetry{10000};
    // A drawer pulse that could not be sent in this time is given up: a drawer must not open by itself
    // minutes after the customer left.
    std::chrono::seconds drawerLifetime{60};
    // Finished jobs older than this many days are removed when the spooler starts.
    int keepDays = 7;
};

// One printer as the spooler sees it.
struct PrinterState {
    QString printer;
    int unfinished = 0; // jobs waiting or on their way
    QString trouble; // why its jobs do not go out ("未连接", "缺纸", "已停用" ...); empty while they do

    bool operator==(const PrinterState&) const = default;
};

// What the main window shows: "厨房打印机未连接，3 张待打印" for each printer in trouble with jobs waiting;
// empty when there is none.
QString PrinterTroubleText(const QList<PrinterState>& states);

// Sends the jobs of 打印任务 to their printers. It runs on a thread of its own with its own connection to
// the database and sends a job as soon as it is committed (see SpoolerOptions::poll). It gives each printer
// its jobs in order, one at a time, over one connection per printer address whatever names the printer
// goes by, each address on a thread of its own so a printer that does not answer holds up no other, and
// tries a printer that failed again after a growing pause. The counter program runs one; the LAN server
// only writes jobs.
class PrintSpooler : public QObject {
    Q_OBJECT
public:
    using OpenDatabase = std::function<std::unique_ptr<Database>()>;

    PrintSpooler(OpenDatabase open, TransportFactory transports, SpoolerOptions options = {},
                 QObject* parent = nullptr);
    // Stops, waiting for the sends in flight to give up or end.
    ~PrintSpooler() override;

    void start();
    void stop();
    // Looks for jobs at once: for a job this process just committed. Cheap, and safe from any thread.
    void wake();

    // On a server, the channel a step that writes jobs notifies so the spooler of another process sends
    // them at once (the steps that change bills notify theirs, which it hears as well).
    static constexpr const char* kJobsChannel = JobStore::kJobsChannel;

    QList<PrinterState> states() const;
    // Kitchen lines no printer took today (jobs 未送出): their count and the newest id.
    int notRoutedToday() const;
    QString latestNotRouted() const;

Q_SIGNALS:
    // Emitted on the spooler's thread; connected objects of other threads receive them queued.
    void statesChanged();
    void jobPrinted(const QString& jobId);

private:
    class Worker;
    std::unique_ptr<Worker> worker_;
};
