#include "print/PrintSpooler.h"

#include "print/JobStore.h"
#include "print/PrinterStore.h"
#include "store/Database.h"
#include "store/Log.h"

#include <QDateTime>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// One send's result, as a printer's thread hands it back.
struct Outcome {
    QString jobId;
    QString printer;
    Delivery delivery;
};

// Sends one printer's jobs, one at a time, on a thread of its own. The transport is kept between jobs and
// made anew when the printer's settings change.
class PrinterLine {
public:
    PrinterLine(const TransportFactory& transports, std::function<void(Outcome)> report)
        : transports_(transports), report_(std::move(report)),
          thread_([this](std::stop_token stop) { run(stop); }) {}
    PrinterLine(const PrinterLine&) = delete;
    PrinterLine& operator=(const PrinterLine&) = delete;
    // Asks a send in flight to give up and waits for it; its outcome is still reported.
    ~PrinterLine() {
        thread_.request_stop();
        wake_.notify_all();
        thread_.join();
    }

    void send(PrintJob job, Printer printer) {
        const std::scoped_lock lock(mutex_);
        next_.emplace(std::move(job), std::move(printer));
        wake_.notify_all();
    }

private:
    void run(const std::stop_token& stop) {
        while (true) {
            std::pair<PrintJob, Printer> work;
            {
                std::unique_lock lock(mutex_);
                if (!wake_.wait(lock, stop, [this] { return next_.has_value(); }))
                    return;
                work = std::move(*next_);
                next_.reset();
            }
            const auto& [job, printer] = work;
            if (!transport_ || printer != transportFor_) {
                transport_ = transports_(printer);
                transportFor_ = printer;
            }
            Delivery delivery = Delivery::NotSent(QStringLiteral("无法发送"));
            try {
                delivery = transport_->deliver(job, printer, stop);
            } catch (const std::exception& error) {
                delivery = Delivery::NotSent(QString::fromLocal8Bit(error.what()));
            }
            report_({job.id, printer.name, delivery});
        }
    }

    const TransportFactory& transports_;
    std::function<void(Outcome)> report_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::optional<std::pair<PrintJob, Printer>> next_;
    std::unique_ptr<PrinterTransport> transport_;
    Printer transportFor_;
    std::jthread thread_; // last: started once everything above exists
};

// What the spooler keeps about one printer between rounds.
struct PrinterSlot {
    Printer config;
    bool known = false; // listed in 打印机 (jobs may still name a printer that is gone)
    std::unique_ptr<PrinterLine> line;
    bool sending = false;
    Clock::time_point nextTry{};
    milliseconds pause{0};
    QString trouble;
    int unfinished = 0;
};

} // namespace

QString PrinterTroubleText(const QList<PrinterState>& states) {
    QStringList parts;
    for (const PrinterState& state : states)
        if (!state.trouble.isEmpty() && state.unfinished > 0)
            parts.append(QStringLiteral("%1打印机%2，%3 张待打印")
                             .arg(state.printer, state.trouble)
                             .arg(state.unfinished));
    return parts.join(QStringLiteral("；"));
}

class PrintSpooler::Worker {
public:
    Worker(PrintSpooler& owner, OpenDatabase open, TransportFactory transports, SpoolerOptions options)
        : owner_(owner), open_(std::move(open)), transports_(std::move(transports)), options_(options) {}

    ~Worker() { stop(); }

    void start() {
        if (thread_.joinable())
            return;
        thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
    }

    void stop() {
        if (!thread_.joinable())
            return;
        thread_.request_stop();
        wake_.notify_all();
        thread_.join();
    }

    void wake() {
        const std::scoped_lock lock(mutex_);
        woken_ = true;
        wake_.notify_all();
    }

    QList<PrinterState> states() const {
        const std::scoped_lock lock(mutex_);
        return states_;
    }
    std::pair<int, QString> notRouted() const {
        const std::scoped_lock lock(mutex_);
        return notRouted_;
    }

private:
    void run(const std::stop_token& stop);
    std::unique_ptr<Database> openDatabase(const std::stop_token& stop);
    void startUp(JobStore& jobs);
    void record(JobStore& jobs, const Outcome& outcome);
    void readPrinters(PrinterStore& printers, JobStore& jobs);
    void dispatch(JobStore& jobs);
    bool anyDue(Clock::time_point now) const;
    Clock::time_point nextDue() const;
    void publish(JobStore& jobs);
    void report(Outcome outcome);
    std::deque<Outcome> takeOutcomes();
    void waitForWork(const std::stop_token& stop);

    PrintSpooler& owner_;
    OpenDatabase open_;
    TransportFactory transports_;
    SpoolerOptions options_;

    // Worker thread only.
    std::map<QString, PrinterSlot> printers_;
    QStringList order_; // printer names in the order of 打印机, then jobs' printers that are gone

    mutable std::mutex mutex_;
    std::condition_variable_any wake_;
    bool woken_ = false;
    std::deque<Outcome> outcomes_;
    QList<PrinterState> states_;
    std::pair<int, QString> notRouted_;

    std::jthread thread_;
};

std::unique_ptr<Database> PrintSpooler::Worker::openDatabase(const std::stop_token& stop) {
    while (!stop.stop_requested()) {
        try {
            return open_();
        } catch (const StoreError& error) {
            Log::write(QStringLiteral("打印队列无法打开数据库：") + error.text());
        }
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, stop, std::chrono::seconds(5), [] { return false; });
    }
    return nullptr;
}

void PrintSpooler::Worker::startUp(JobStore& jobs) {
    if (const int recovered = jobs.recoverInterrupted(); recovered > 0)
        Log::write(QStringLiteral("打印队列：%1 张单子上次发送时程序中断，将补打。").arg(recovered));
    jobs.purgeBefore(QDate::currentDate().addDays(-options_.keepDays));
}

void PrintSpooler::Worker::report(Outcome outcome) {
    const std::scoped_lock lock(mutex_);
    outcomes_.push_back(std::move(outcome));
    wake_.notify_all();
}

std::deque<Outcome> PrintSpooler::Worker::takeOutcomes() {
    const std::scoped_lock lock(mutex_);
    return std::exchange(outcomes_, {});
}

void PrintSpooler::Worker::record(JobStore& jobs, const Outcome& outcome) {
    const Delivery& delivery = outcome.delivery;
    if (delivery.outcome == Delivery::Outcome::Accepted)
        jobs.markPrinted(outcome.jobId, QDateTime::currentDateTime());
    else
        jobs.putBack(outcome.jobId, delivery.outcome == Delivery::Outcome::MaybeSent, delivery.trouble);
    PrinterSlot& slot = printers_[outcome.printer];
    slot.sending = false;
    if (delivery.outcome == Delivery::Outcome::Accepted) {
        slot.trouble.clear();
        slot.pause = milliseconds(0);
        Q_EMIT owner_.jobPrinted(outcome.jobId);
        return;
    }
    slot.trouble = delivery.trouble;
    slot.pause =
        slot.pause.count() == 0 ? options_.firstRetry : std::min(slot.pause * 2, options_.longestRetry);
    slot.nextTry = Clock::now() + slot.pause;
}

void PrintSpooler::Worker::readPrinters(PrinterStore& store, JobStore& jobs) {
    const QList<Printer> configured = store.all();
    const QHash<QString, int> unfinished = jobs.unfinishedByPrinter();
    order_.clear();
    for (auto& [name, slot] : printers_) {
        slot.known = false;
        slot.unfinished = 0;
    }
    for (const Printer& printer : configured) {
        PrinterSlot& slot = printers_[printer.name];
        if (slot.config != printer) {
            // New settings: whatever went wrong with the old ones is tried again at once.
            slot.pause = milliseconds(0);
            slot.nextTry = {};
            slot.trouble.clear();
        }
        slot.config = printer;
        slot.known = true;
        order_.append(printer.name);
    }
    for (auto it = unfinished.cbegin(); it != unfinished.cend(); ++it) {
        printers_[it.key()].unfinished = it.value();
        if (!order_.contains(it.key()))
            order_.append(it.key());
    }
    // Printers that are gone and have nothing left to send are forgotten (a line still sending stays).
    std::erase_if(printers_, [](const auto& entry) {
        return !entry.second.known && entry.second.unfinished == 0 && !entry.second.sending;
    });
}

void PrintSpooler::Worker::dispatch(JobStore& jobs) {
    const Clock::time_point now = Clock::now();
    const QDateTime wallNow = QDateTime::currentDateTime();
    for (auto& [name, slot] : printers_) {
        if (!slot.known || !slot.config.enabled || slot.sending || slot.unfinished == 0 || now < slot.nextTry)
            continue;
        std::optional<PrintJob> job = jobs.nextWaiting(name);
        // A drawer pulse that is too late is given up, and the printer's next job taken.
        while (job && job->kind == JobKind::Drawer &&
               job->created.secsTo(wallNow) > options_.drawerLifetime.count()) {
            jobs.giveUp(job->id, QStringLiteral("超过 %1 秒未能送到打印机，钱箱没有打开")
                                     .arg(options_.drawerLifetime.count()));
            Log::write(QStringLiteral("%1打印机：钱箱没有打开（打印机未连接）。").arg(name));
            job = jobs.nextWaiting(name);
        }
        if (!job || !jobs.claim(job->id))
            continue;
        if (!slot.line)
            slot.line = std::make_unique<PrinterLine>(
                transports_, [this](Outcome outcome) { report(std::move(outcome)); });
        slot.sending = true;
        slot.line->send(*job, slot.config);
    }
}

bool PrintSpooler::Worker::anyDue(Clock::time_point now) const {
    return std::any_of(printers_.begin(), printers_.end(), [now](const auto& entry) {
        const PrinterSlot& slot = entry.second;
        return slot.known && slot.config.enabled && !slot.sending && slot.unfinished > 0 &&
               slot.pause.count() > 0 && now >= slot.nextTry;
    });
}

Clock::time_point PrintSpooler::Worker::nextDue() const {
    Clock::time_point due = Clock::now() + options_.poll;
    for (const auto& [name, slot] : printers_)
        if (slot.known && slot.config.enabled && !slot.sending && slot.unfinished > 0 &&
            slot.pause.count() > 0)
            due = std::min(due, slot.nextTry);
    return due;
}

void PrintSpooler::Worker::publish(JobStore& jobs) {
    QList<PrinterState> states;
    for (const QString& name : order_) {
        const auto found = printers_.find(name);
        if (found == printers_.end())
            continue;
        const PrinterSlot& slot = found->second;
        QString trouble = slot.trouble;
        if (!slot.known)
            trouble = QStringLiteral("已删除");
        else if (!slot.config.enabled)
            trouble = QStringLiteral("已停用");
        states.append({name, slot.unfinished, trouble});
    }
    const std::pair<int, QString> notRouted = jobs.notRouted(QDate::currentDate());
    bool changed = false;
    {
        const std::scoped_lock lock(mutex_);
        changed = states != states_ || notRouted != notRouted_;
        states_ = states;
        notRouted_ = notRouted;
    }
    if (changed)
        Q_EMIT owner_.statesChanged();
}

void PrintSpooler::Worker::waitForWork(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    wake_.wait_until(lock, stop, nextDue(), [this] { return woken_ || !outcomes_.empty(); });
}

void PrintSpooler::Worker::run(const std::stop_token& stop) {
    const std::unique_ptr<Database> db = openDatabase(stop);
    if (!db)
        return;
    JobStore jobs(*db);
    PrinterStore printers(*db);
    try {
        startUp(jobs);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("打印队列启动时出错：") + error.text());
    }
    // -1: not yet read (the engine's counter is never negative).
    qint64 seenVersion = -1;
    while (!stop.stop_requested()) {
        bool woken = false;
        {
            const std::scoped_lock lock(mutex_);
            woken = std::exchange(woken_, false);
        }
        std::deque<Outcome> outcomes = takeOutcomes();
        const bool sendsEnded = !outcomes.empty();
        try {
            for (; !outcomes.empty(); outcomes.pop_front())
                record(jobs, outcomes.front());
            const qint64 version = db->commitsByOthers();
            if (woken || version != seenVersion || sendsEnded || anyDue(Clock::now())) {
                seenVersion = version;
                readPrinters(printers, jobs);
                dispatch(jobs);
                publish(jobs);
            }
        } catch (const StoreError& error) {
            // Results not yet stored are kept for the next round.
            if (!outcomes.empty()) {
                const std::scoped_lock lock(mutex_);
                outcomes_.insert(outcomes_.begin(), outcomes.begin(), outcomes.end());
            }
            Log::write(QStringLiteral("打印队列读写数据库失败：") + error.text());
            seenVersion = -1;
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, stop, std::chrono::seconds(1), [] { return false; });
            continue;
        }
        waitForWork(stop);
    }
    // The printers' threads end first (a send in flight gives up), then what they reported is stored, so
    // a job that never left is not taken for one that may have printed.
    for (auto& [name, slot] : printers_)
        slot.line.reset();
    try {
        for (const Outcome& outcome : takeOutcomes())
            record(jobs, outcome);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("打印队列退出时读写数据库失败：") + error.text());
    }
}

PrintSpooler::PrintSpooler(OpenDatabase open, TransportFactory transports, SpoolerOptions options,
                           QObject* parent)
    : QObject(parent),
      worker_(std::make_unique<Worker>(*this, std::move(open), std::move(transports), options)) {}

PrintSpooler::~PrintSpooler() {
    worker_->stop();
}

void PrintSpooler::start() {
    worker_->start();
}

void PrintSpooler::stop() {
    worker_->stop();
}

void PrintSpooler::wake() {
    worker_->wake();
}

QList<PrinterState> PrintSpooler::states() const {
    return worker_->states();
}

int PrintSpooler::notRoutedToday() const {
    return worker_->notRouted().first;
}

QString PrintSpooler::latestNotRouted() const {
    return worker_->notRouted().second;
}
