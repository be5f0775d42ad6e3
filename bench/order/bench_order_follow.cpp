// How soon the open ordering window shows a line a phone has just stored: from the phone's commit (another
// connection, on a thread of its own) until the window's order grid holds the row, with the window driven as
// the main window drives it (ChangeFeed::changed -> OrderWindow::followStoredBill). The phone's lines come
// at irregular gaps, so the feed's 100 ms look at the file is met at every phase. Median and p99, on the
// database file and, given an address, on a PostgreSQL server.
//
// usage: bench_order_follow [ADMIN_URI]
//   ADMIN_URI  a server connection allowed to create databases; the run makes an empty one and drops it
#include "bill/ChangeFeed.h"
#include "desk/OrderDesk.h"
#include "desk/OrderGridModel.h"
#include "order/OrderWindow.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"
#include "store/Schema.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTable = 0;
constexpr int kWarmUpLines = 3;
constexpr int kMeasuredLines = 60;
// Long enough for a lost notice on a server to be found by the feed's own look (every 1.5 s).
constexpr auto kLongestWait = std::chrono::seconds(5);

struct LineText {
    QString name;
    QString quantity;
    QString amount;
    bool operator==(const LineText&) const = default;
};

struct PhoneLine {
    QString lineId;
    LineText text;
    Clock::time_point committed;
};

struct ShownLine {
    LineText text;
    Clock::time_point shown;
};

// The phone: adds one line at a time to the table's bill on its own connection, each line one step with
// its quantity, at gaps of 40 to 400 ms.
class Phone {
public:
    explicit Phone(std::unique_ptr<Database> db) : db_(std::move(db)) {
        db_->setWriter(Database::Writer::PhonePages);
    }

    void run(int lines) {
        try {
            addLines(lines);
        } catch (const StoreError& error) {
            std::fprintf(stderr, "the phone's line was not stored: %s\n", qPrintable(error.text()));
            failed_ = true;
        }
        finished_ = true;
    }

    bool finished() const { return finished_; }
    bool failed() const { return failed_; }
    std::vector<PhoneLine> lines() const {
        const std::scoped_lock lock(mutex_);
        return lines_;
    }

private:
    void addLines(int lines) {
        std::mt19937 random(7);
        std::uniform_int_distribution<int> gapMs(40, 400);
        OrderDesk desk(*db_);
        static const QStringList categories{kDishes, kDrinks, kOthers};
        for (int i = 0; i < lines; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs(random)));
            desk.openTable(kTable, QDateTime::currentDateTime());
            desk.menu.chooseCategory(categories.at(i % categories.size()));
            const MenuRecord record = desk.menu.records().at(i % desk.menu.records().size());
            QString lineId;
            desk.bill.runAsOneStep([&] {
                const int at = desk.bill.addItem(record, QDateTime::currentDateTime());
                lineId = desk.bill.lines().at(at).lineId;
                desk.bill.setQuantity(at, QString::number(2 + i % 4));
            });
            const Clock::time_point committed = Clock::now();
            keep(desk.bill, lineId, committed);
        }
    }

    void keep(const BillDocument& bill, const QString& lineId, Clock::time_point committed) {
        for (const OrderLine& line : bill.lines()) {
            if (line.lineId != lineId)
                continue;
            const std::scoped_lock lock(mutex_);
            lines_.push_back({lineId, {line.name, line.quantity, line.amount}, committed});
        }
    }

    std::unique_ptr<Database> db_;
    mutable std::mutex mutex_;
    std::vector<PhoneLine> lines_;
    std::atomic<bool> finished_ = false;
    std::atomic<bool> failed_ = false;
};

// Every line id the grid shows, with its texts and the moment it first showed.
class GridWatch : public QObject {
public:
    explicit GridWatch(OrderGridModel& grid) : grid_(grid) {
        connect(&grid, &QAbstractItemModel::rowsInserted, this, &GridWatch::look);
        connect(&grid, &QAbstractItemModel::dataChanged, this, &GridWatch::look);
        connect(&grid, &QAbstractItemModel::modelReset, this, &GridWatch::look);
    }

    const QHash<QString, ShownLine>& shown() const { return shown_; }

private:
    QString cell(int row, int column) const {
        return grid_.data(grid_.index(row, column), Qt::DisplayRole).toString();
    }

    void look() {
        const Clock::time_point now = Clock::now();
        for (int row = 0; row < grid_.rowCount(); ++row) {
            const QString id = cell(row, OrderGridModel::LineId);
            if (!id.isEmpty() && !shown_.contains(id))
                shown_.insert(id, {{cell(row, OrderGridModel::Name), cell(row, OrderGridModel::Quantity),
                                    cell(row, OrderGridModel::Amount)},
                                   now});
        }
    }

    OrderGridModel& grid_;
    QHash<QString, ShownLine> shown_;
};

struct Figures {
    double median;
    double p99;
};

// The delays of the measured lines; nullopt (with the reason on stderr) when one never showed or showed
// other texts than the phone stored.
std::optional<std::vector<double>> delaysOf(const std::vector<PhoneLine>& lines,
                                            const QHash<QString, ShownLine>& shown) {
    std::vector<double> delays;
    for (size_t i = kWarmUpLines; i < lines.size(); ++i) {
        const PhoneLine& line = lines.at(i);
        const auto seen = shown.constFind(line.lineId);
        if (seen == shown.cend()) {
            std::fprintf(stderr, "line %s never showed in the window\n", qPrintable(line.lineId));
            return std::nullopt;
        }
        if (seen->text != line.text) {
            std::fprintf(stderr, "line %s showed as %s %s %s, stored as %s %s %s\n", qPrintable(line.lineId),
                         qPrintable(seen->text.name), qPrintable(seen->text.quantity),
                         qPrintable(seen->text.amount), qPrintable(line.text.name),
                         qPrintable(line.text.quantity), qPrintable(line.text.amount));
            return std::nullopt;
        }
        // The feed may show the line before the phone's thread has read the clock after its commit.
        const auto delay = std::max(Clock::duration::zero(), seen->shown - line.committed);
        delays.push_back(std::chrono::duration<double, std::milli>(delay).count());
    }
    return delays;
}

Figures figuresOf(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[std::min(times.size() - 1, times.size() * 99 / 100)]};
}

// Runs the event loop until the phone is done and the window shows all its lines, or a line is overdue.
void followUntilShown(const Phone& phone, const GridWatch& watch) {
    QEventLoop loop;
    QTimer check;
    std::optional<Clock::time_point> doneAt;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (!phone.finished())
            return;
        doneAt = doneAt.value_or(Clock::now());
        const std::vector<PhoneLine> lines = phone.lines();
        const bool allShown = std::all_of(lines.cbegin(), lines.cend(), [&](const PhoneLine& line) {
            return watch.shown().contains(line.lineId);
        });
        if (allShown || Clock::now() - *doneAt > kLongestWait)
            loop.quit();
    });
    check.start(50);
    loop.exec();
}

// The open window on a table that already has a bill, and the phone adding to it.
std::optional<Figures> measure(Database& db) {
    {
        OrderDesk counter(db);
        counter.openTable(kTable, QDateTime::currentDateTime());
        counter.menu.chooseCategory(kDishes);
        counter.bill.addItem(counter.menu.records().at(0), QDateTime::currentDateTime());
        counter.bill.save();
    }
    SettingsStore settings(db);
    OrderWindow window(db, settings);
    window.bill().openTable(kTable, settings.tableList().at(kTable), QDateTime::currentDateTime());
    window.show();
    const GridWatch watch(window.grid());
    ChangeFeed feed(db);
    QObject::connect(&feed, &ChangeFeed::changed, &window, &OrderWindow::followStoredBill);
    feed.start();

    Phone phone(db.connectAgain());
    std::jthread phoneThread([&phone] { phone.run(kWarmUpLines + kMeasuredLines); });
    followUntilShown(phone, watch);
    phoneThread.join();
    feed.stop();
    const std::optional<std::vector<double>> delays = delaysOf(phone.lines(), watch.shown());
    if (phone.failed() || !delays || delays->size() != static_cast<size_t>(kMeasuredLines))
        return std::nullopt;
    return figuresOf(*delays);
}

bool report(const char* engine, const std::optional<Figures>& figures, double goalMs) {
    if (!figures) {
        std::fprintf(stderr,
                     "bench_order_follow: no figure for the %s: the window did not show the phone's "
                     "lines as stored\n",
                     engine);
        return false;
    }
    std::printf(
        "phone line to the open window, %-6s median %7.1f ms  p99 %7.1f ms  (%d lines; goal p99 < %.0f "
        "ms: %s)\n",
        engine, figures->median, figures->p99, kMeasuredLines, goalMs,
        figures->p99 < goalMs ? "met" : "missed");
    return true;
}

std::optional<Figures> measureOnFile() {
    QTemporaryDir dir;
    Database db(dir.filePath(QStringLiteral("follow.dat")), DatabasePassword());
    CreateSchema(db);
    return measure(db);
}

std::optional<Figures> measureOnServer(const QString& adminAddress) {
    const QString name = QStringLiteral("bench_follow_%1").arg(::getpid());
    const auto admin = Database::ConnectServer(adminAddress);
    admin->exec(("CREATE DATABASE " + name.toUtf8()).constData());
    QUrl address(adminAddress);
    address.setPath(QLatin1Char('/') + name);
    std::optional<Figures> figures;
    {
        const auto db = Database::ConnectServer(address.toString());
        CreateSchema(*db);
        figures = measure(*db);
    }
    admin->exec(("DROP DATABASE " + name.toUtf8()).constData());
    return figures;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QApplication app(argc, argv);
    if (argc > 2) {
        std::fprintf(stderr, "usage: bench_order_follow [ADMIN_URI]\n");
        return 64;
    }
    try {
        if (!report("file", measureOnFile(), 300))
            return 1;
        if (argc == 2 && !report("server", measureOnServer(QString::fromLocal8Bit(argv[1])), 1000))
            return 1;
    } catch (const StoreError& error) {
        std::fprintf(stderr, "bench_order_follow: %s\n", qPrintable(error.text()));
        return 1;
    }
    return 0;
}
