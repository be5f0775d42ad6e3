#include "print/PrintSpooler.h"

#include "bill/BillStore.h"
#include "print/JobStore.h"
#include "print/PrinterStore.h"
#include "store/Database.h"
#include "store/Log.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// One send's result, as a printer's thread hands it back.
struct Outcome {
    QString jobId;
    QString address;
    Delivery delivery;
};

// Sends the jobs for one printer address, one at a time, on a thread of its own. The transport is kept
// between jobs, with what it learnt about the printer, whatever the printer is called.
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
            Delivery delivery = Delivery::NotSent(QStringLiteral("无法发送"));
            try {
                if (!transport_)
                    transport_ = transports_(printer);
                delivery = transport_->deliver(job, printer, stop);
            } catch (const std::exception& error) {
                delivery = Delivery::NotSent(QString::fromLocal8Bit(error.what()));
            }
            report_({job.id, printer.address, delivery});
        }
    }

    const TransportFactory& transports_;
    std::function<void(Outcome)> report_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::optional<std::pair<PrintJob, Printer>> next_;
    std::unique_ptr<PrinterTransport> transport_;
    std::jthread thread_; // last: started once everything above exists
};

// One printer as 打印机 names it.
struct PrinterSlot {
    Printer config;
    bool known = false; // listed in 打印机 (jobs may still name a printer that is gone)
    int unfinished = 0;
};

// One printer address: one connection at a time, whichever names send to it.
struct AddressLine {
    std::unique_ptr<PrinterLine> line;
    bool sending = false;
    bool waiting = false; // an enabled printer at this address has jobs
    Clock::time_point nextTry{};
    milliseconds pause{0};
    QString trouble;
};

// Interrupts the spooler's wait from any thread: one write to an eventfd.
class Wakeup {
public:
    Wakeup() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;
    ~Wakeup() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int fd() const { return fd_; }
    void signal() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd_, &one, sizeof one);
    }
    void drain() const {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(fd_, &count, sizeof count);
    }

private:
    int fd_;
};

// Tells the spooler that another connection may have committed. On a file: the kernel's notices of writes
// to its write-ahead log, which every commit writes a moment before other connections see it. On a server:
// the notices of the steps that write jobs or change bills.
class ChangeNotices {
public:
    explicit ChangeNotices(Database& db) : db_(db) {
        if (db.isServer()) {
            listen(PrintSpooler::kJobsChannel);
            listen(BillStore::kTablesChannel);
            return;
        }
        const QFileInfo file(db.path());
        logName_ = QFile::encodeName(file.fileName()) + "-wal";
        watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch_ >= 0 && ::inotify_add_watch(watch_, QFile::encodeName(file.absolutePath()).constData(),
                                               IN_MODIFY | IN_CREATE | IN_MOVED_TO) < 0) {
            ::close(std::exchange(watch_, -1));
        }
        if (watch_ < 0)
            Log::write(QStringLiteral("打印队列收不到数据库的变化通知，改为定时查看。"));
    }
    ChangeNotices(const ChangeNotices&) = delete;
    ChangeNotices& operator=(const ChangeNotices&) = delete;
    ~ChangeNotices() {
        if (watch_ >= 0)
            ::close(watch_);
    }

    // What to wait on; -1 for nothing.
    int fd() const {
        if (!db_.isServer())
            return watch_;
        return muted_ ? -1 : db_.notificationSocket();
    }
    // Whether a notice came; `readable` says whether fd() was. A server's notices may also have come with
    // the answer to a query, so they are always looked for. A server socket that was readable with no
    // notice on it (a connection going down) is not waited on again until unmute().
    bool take(bool readable) {
        if (db_.isServer()) {
            const bool heard = !db_.takeNotifications().isEmpty();
            if (readable && !heard)
                muted_ = true;
            return heard;
        }
        return readable && readLog();
    }
    void unmute() { muted_ = false; }

private:
    void listen(const char* channel) {
        try {
            db_.listen(channel);
        } catch (const StoreError& error) {
            Log::write(QStringLiteral("打印队列收不到变化通知：") + error.text());
        }
    }

    bool readLog() {
        bool heard = false;
        alignas(inotify_event) char buffer[4096];
        while (true) {
            const ssize_t got = ::read(watch_, buffer, sizeof buffer);
            if (got <= 0)
                return heard;
            for (ssize_t at = 0; at < got;) {
                const auto* notice = reinterpret_cast<const inotify_event*>(buffer + at);
                if (notice->len > 0 && logName_ == notice->name)
                    heard = true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + notice->len);
            }
        }
    }

    Database& db_;
    int watch_ = -1;
    QByteArray logName_;
    bool muted_ = false;
};

// A commit heard in the log becomes visible a moment later, once it is synced: until it is, look again every
// millisecond for the first 20, then every 10 ms, for a quarter of a second at most.
class Recheck {
public:
    void start(Clock::time_point now) {
        started_ = now;
        at_ = now + milliseconds(1);
    }
    void stop() { at_ = Clock::time_point::max(); }
    // Plans the next look once this one is due.
    void due(Clock::time_point now) {
        if (now < at_)
            return;
        const milliseconds since = std::chrono::duration_cast<milliseconds>(now - started_);
        at_ = since >= milliseconds(250) ? Clock::time_point::max()
                                         : now + milliseconds(since < milliseconds(20) ? 1 : 10);
    }
    Clock::time_point at() const { return at_; }

private:
    Clock::time_point started_{};
    Clock::time_point at_ = Clock::time_point::max();
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
        wakeup_.signal();
        thread_.join();
    }

    void wake() {
        // One write however many wakes come before the spooler looks.
        if (!woken_.exchange(true))
            wakeup_.signal();
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
    // Waits for a wake, a send's end, a change notice (true when it came) or the deadline.
    bool waitUntil(Clock::time_point deadline, ChangeNotices* notices);

    PrintSpooler& owner_;
    OpenDatabase open_;
    TransportFactory transports_;
    SpoolerOptions options_;

    // Worker thread only.
    std::map<QString, PrinterSlot> printers_;
    std::map<QString, AddressLine> addresses_;
    QStringList order_; // printer names in the order of 打印机, then jobs' printers that are gone

    const Wakeup wakeup_;
    std::atomic<bool> woken_{false};
    mutable std::mutex mutex_;
    std::deque<Outcome> outcomes_;
    QList<PrinterState> states_;
    std::pair<int, QString> notRouted_;

    std::jthread thread_;
};

bool PrintSpooler::Worker::waitUntil(Clock::time_point deadline, ChangeNotices* notices) {
    const long long left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    // A deadline past the range of poll's timeout is as good as none.
    const int timeout = deadline == Clock::time_point::max() || left > 3600000
                            ? 3600000
                            : static_cast<int>(std::max(left, 0LL));
    pollfd entries[2] = {{wakeup_.fd(), POLLIN, 0}, {notices ? notices->fd() : -1, POLLIN, 0}};
    if (::poll(entries, 2, timeout) <= 0)
        return false;
    return (entries[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
}

std::unique_ptr<Database> PrintSpooler::Worker::openDatabase(const std::stop_token& stop) {
    while (!stop.stop_requested()) {
        try {
            return open_();
        } catch (const StoreError& error) {
            Log::write(QStringLiteral("打印队列无法打开数据库：") + error.text());
        }
        const Clock::time_point again = Clock::now() + std::chrono::seconds(5);
        while (!stop.stop_requested() && Clock::now() < again)
            waitUntil(again, nullptr);
    }
    return nullptr;
}

void PrintSpooler::Worker::startUp(JobStore& jobs) {
    if (const int recovered = jobs.recoverInterrupted(); recovered > 0)
        Log::write(QStringLiteral("打印队列：%1 张单子上次发送时程序中断，将补打。").arg(recovered));
    jobs.purgeBefore(QDate::currentDate().addDays(-options_.keepDays));
}

void PrintSpooler::Worker::report(Outcome outcome) {
    {
        const std::scoped_lock lock(mutex_);
        outcomes_.push_back(std::move(outcome));
    }
    wakeup_.signal();
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
    AddressLine& line = addresses_[outcome.address];
    line.sending = false;
    if (delivery.outcome == Delivery::Outcome::Accepted) {
        line.trouble.clear();
        line.pause = milliseconds(0);
        Q_EMIT owner_.jobPrinted(outcome.jobId);
        return;
    }
    line.trouble = delivery.trouble;
    line.pause =
        line.pause.count() == 0 ? options_.firstRetry : std::min(line.pause * 2, options_.longestRetry);
    line.nextTry = Clock::now() + line.pause;
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
            AddressLine& line = addresses_[printer.address];
            line.pause = milliseconds(0);
            line.nextTry = {};
            line.trouble.clear();
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
    // Printers that are gone and have nothing left to send are forgotten, and so are the addresses no
    // printer uses (unless a send to one is still on its way).
    std::erase_if(printers_,
                  [](const auto& entry) { return !entry.second.known && entry.second.unfinished == 0; });
    std::set<QString> used;
    for (auto& [address, line] : addresses_)
        line.waiting = false;
    for (const auto& [name, slot] : printers_) {
        if (!slot.known)
            continue;
        used.insert(slot.config.address);
        if (slot.config.enabled && slot.unfinished > 0)
            addresses_[slot.config.address].waiting = true;
    }
    std::erase_if(addresses_, [&used](const auto& entry) {
        return !entry.second.sending && !used.contains(entry.first);
    });
}

void PrintSpooler::Worker::dispatch(JobStore& jobs) {
    const Clock::time_point now = Clock::now();
    const QDateTime wallNow = QDateTime::currentDateTime();
    for (const QString& name : std::as_const(order_)) {
        const auto found = printers_.find(name);
        if (found == printers_.end())
            continue;
        const PrinterSlot& slot = found->second;
        if (!slot.known || !slot.config.enabled || slot.unfinished == 0)
            continue;
        AddressLine& line = addresses_[slot.config.address];
        if (line.sending || now < line.nextTry)
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
        if (!line.line)
            line.line = std::make_unique<PrinterLine>(
                transports_, [this](Outcome outcome) { report(std::move(outcome)); });
        line.sending = true;
        line.line->send(*job, slot.config);
    }
}

bool PrintSpooler::Worker::anyDue(Clock::time_point now) const {
    return std::any_of(addresses_.begin(), addresses_.end(), [now](const auto& entry) {
        const AddressLine& line = entry.second;
        return line.waiting && !line.sending && line.pause.count() > 0 && now >= line.nextTry;
    });
}

Clock::time_point PrintSpooler::Worker::nextDue() const {
    Clock::time_point due = Clock::time_point::max();
    for (const auto& [address, line] : addresses_)
        if (line.waiting && !line.sending && line.pause.count() > 0)
            due = std::min(due, line.nextTry);
    return due;
}

void PrintSpooler::Worker::publish(JobStore& jobs) {
    QList<PrinterState> states;
    for (const QString& name : std::as_const(order_)) {
        const auto found = printers_.find(name);
        if (found == printers_.end())
            continue;
        const PrinterSlot& slot = found->second;
        QString trouble;
        if (!slot.known)
            trouble = QStringLiteral("已删除");
        else if (!slot.config.enabled)
            trouble = QStringLiteral("已停用");
        else if (const auto line = addresses_.find(slot.config.address); line != addresses_.end())
            trouble = line->second.trouble;
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
    ChangeNotices notices(*db);
    const milliseconds pollEvery = db->isServer() ? options_.serverPoll : options_.poll;
    Clock::time_point nextPoll = Clock::now();
    Recheck recheck;
    // -1: not yet read (the engine's counter is never negative).
    qint64 seenVersion = -1;
    bool readable = false;
    bool heardMeanwhile = false;
    while (!stop.stop_requested()) {
        wakeup_.drain();
        const bool woken = woken_.exchange(false);
        std::deque<Outcome> outcomes = takeOutcomes();
        const bool sendsEnded = !outcomes.empty();
        const bool heard = notices.take(readable) || std::exchange(heardMeanwhile, false);
        const Clock::time_point now = Clock::now();
        const bool pollDue = now >= nextPoll;
        if (pollDue) {
            nextPoll = now + pollEvery;
            notices.unmute();
        }
        try {
            for (; !outcomes.empty(); outcomes.pop_front())
                record(jobs, outcomes.front());
            // On a file the counter costs no disk read; on a server it is a round trip.
            const bool look = !db->isServer() || heard || pollDue || seenVersion < 0;
            const qint64 version = look ? db->commitsByOthers() : seenVersion;
            if (woken || version != seenVersion || sendsEnded || anyDue(now)) {
                seenVersion = version;
                recheck.stop();
                readPrinters(printers, jobs);
                dispatch(jobs);
                publish(jobs);
            } else if (heard && !db->isServer()) {
                recheck.start(now);
            } else {
                recheck.due(now);
            }
        } catch (const StoreError& error) {
            // Results not yet stored are kept for the next round.
            if (!outcomes.empty()) {
                const std::scoped_lock lock(mutex_);
                outcomes_.insert(outcomes_.begin(), outcomes.begin(), outcomes.end());
            }
            Log::write(QStringLiteral("打印队列读写数据库失败：") + error.text());
            seenVersion = -1;
            const Clock::time_point again = Clock::now() + std::chrono::seconds(1);
            while (!stop.stop_requested() && Clock::now() < again)
                waitUntil(again, nullptr);
            continue;
        }
        // Notices that came with the answers to this round's queries wait in the connection, not the socket.
        heardMeanwhile = notices.take(false);
        readable = !heardMeanwhile && waitUntil(std::min({nextDue(), nextPoll, recheck.at()}), &notices);
    }
    // The printers' threads end first (a send in flight gives up), then what they reported is stored, so
    // a job that never left is not taken for one that may have printed.
    for (auto& [address, line] : addresses_)
        line.line.reset();
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
