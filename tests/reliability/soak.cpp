// A long evening: the counter's order logic and 30 phone clients work on one database through Lanserve on
// 127.0.0.1 for a bounded time. Afterwards: no request error, every bill's 应收 equals the sum of its lines,
// and the resident memory of both processes at the start and the end.
// Usage: cjsoak [minutes (default 10)] [clients (default 30)]
#include "../lanserve/LanserveProcess.h"
#include "crash_journal.h"

#include "bill/BillStore.h"
#include "desk/OrderDesk.h"
#include "desk/TableMap.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <random>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

long residentKb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

QString JoinSeries(const std::vector<long>& series) {
    QStringList parts;
    for (const long kb : series)
        parts << QString::number(kb);
    return parts.join(QLatin1Char(' '));
}

QString field(const QByteArray& html, const char* name) {
    const QRegularExpression pattern(
        QStringLiteral("name=\"%1\" value=\"([^\"]*)\"").arg(QLatin1String(name)));
    return pattern.match(QString::fromUtf8(html)).captured(1);
}

// The menu keys of the first dishes the menu page lists.
QStringList dishKeysOf(const QByteArray& html) {
    static const QRegularExpression box(QStringLiteral("name=\"q(\\d+)\""));
    QStringList keys;
    for (auto match = box.globalMatch(QString::fromUtf8(html)); match.hasNext() && keys.size() < 4;)
        keys.append(match.next().captured(1));
    return keys;
}

struct Counts {
    std::atomic<long> requests{0};
    std::atomic<long> errors{0};
    std::atomic<long> linesAdded{0};
    std::atomic<long> counterSteps{0};
    std::atomic<long> counterRefusals{0};
};

// One phone: signs in, then lists the tables, opens a menu, orders and reads the bill, until the deadline.
void phone(int port, int seed, const QDeadlineTimer& deadline, Counts& counts) {
    // Each phone has an address of its own, as on the Wi-Fi.
    const ClientAddress address(QStringLiteral("127.0.2.%1").arg(seed % 250 + 1));
    std::mt19937 random(static_cast<unsigned>(seed));
    const QByteArray cookie = SignIn(port);
    if (cookie.isEmpty()) {
        ++counts.errors;
        return;
    }
    auto ok = [&](const RawReply& reply, int expected) {
        ++counts.requests;
        if (reply.status != expected) {
            ++counts.errors;
            std::fprintf(stderr, "status %d\n", reply.status);
            return false;
        }
        return true;
    };
    // A server that no longer answers ends the phone: its one error is the finding, not a flood of them.
    while (!deadline.hasExpired()) {
        const RawReply list = Get(port, "/phone/list.asp", cookie);
        if (list.status == 0) {
            ++counts.requests, ++counts.errors;
            std::fprintf(stderr, "phone %d: no answer from the server\n", seed);
            return;
        }
        ok(list, 200);
        const int table = 5 + static_cast<int>(random() % 8);
        const RawReply menu = Get(port, "/phone/menu.asp?t=" + QByteArray::number(table) + "&c=0", cookie);
        if (!ok(menu, 200))
            continue;
        const QStringList dishKeys = dishKeysOf(menu.body);
        if (dishKeys.size() < 4) {
            ++counts.errors;
            continue;
        }
        const RawReply order = PostForm(port, "/phone/savemenu.asp",
                                        {{"t", QString::number(table)},
                                         {"tn", field(menu.body, "tn")},
                                         {"k", field(menu.body, "k")},
                                         {"go", QStringLiteral("1")},
                                         {QLatin1Char('q') + dishKeys.at(random() % 4), QStringLiteral("1")}},
                                        cookie);
        // A redirect to the bill; a changed menu or a just-settled table is a refusal, not an error.
        if (order.status == 303 || order.status == 302)
            ++counts.linesAdded, ++counts.requests;
        else
            ok(order, 409);
        ok(Get(port, "/phone/detail.asp?t=" + QByteArray::number(table), cookie), 200);
    }
}

// The counter: orders, edits and checks out tables 0-4 on its own connection, a step every 20 ms, and
// settles one of the phones' tables every half second, so bills stay the size of an evening's.
void counter(Database& db, const QDeadlineTimer& deadline, Counts& counts) {
    std::mt19937 random(99);
    for (long step = 1; !deadline.hasExpired(); ++step) {
        const bool settlePhoneTable = step % 25 == 0;
        const int table =
            settlePhoneTable ? 5 + static_cast<int>(random() % 8) : static_cast<int>(random() % 5);
        try {
            OrderDesk desk(db);
            desk.openTable(table, QDateTime::currentDateTime());
            if (!settlePhoneTable) {
                desk.menu.chooseCategory(QStringLiteral("酒水"));
                const QList<MenuRecord>& drinks = desk.menu.records();
                desk.bill.addItem(drinks.at(static_cast<int>(random() % drinks.size())),
                                  QDateTime::currentDateTime());
            }
            if (settlePhoneTable || random() % 4 == 0) {
                desk.bill.checkOut();
                desk.bill.save();
            }
            ++counts.counterSteps;
        } catch (const StoreError& error) {
            ++counts.counterRefusals;
            std::fprintf(stderr, "counter: %s\n", qPrintable(error.text()));
        }
        ::usleep(20000);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int clients = argc > 2 ? std::atoi(argv[2]) : 30;
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/data");
    auto db = PrepareDataFolder(folder);
    LanserveProcess server(folder, {QStringLiteral("--listen"), QStringLiteral("127.0.0.1")});
    if (!server.start()) {
        std::fprintf(stderr, "Lanserve did not start: %s\n", qPrintable(server.error()));
        return 1;
    }
    const qint64 serverPid = server.process().processId();
    Counts counts;
    const QDeadlineTimer deadline(static_cast<qint64>(minutes * 60000));

    std::vector<std::thread> threads;
    threads.emplace_back([&] { counter(*db, deadline, counts); });
    for (int i = 0; i < clients; ++i)
        threads.emplace_back([&, i] { phone(server.port(), i + 1, deadline, counts); });
    // Memory is sampled every 30 s: a leak shows as steady growth once the caches have filled.
    std::vector<long> serverSeries;
    std::vector<long> selfSeries;
    const auto sample = [&] {
        serverSeries.push_back(residentKb(serverPid));
        selfSeries.push_back(residentKb(::getpid()));
    };
    sample();
    qint64 nextSample = 30000;
    QElapsedTimer clock;
    clock.start();
    while (!deadline.hasExpired()) {
        ::usleep(200000);
        if (clock.elapsed() >= nextSample && !deadline.hasExpired()) {
            sample();
            nextSample += 30000;
        }
    }
    for (std::thread& thread : threads)
        thread.join();
    sample();
    server.terminate();

    const CrashCheck check = CheckAfterCrash(*db, QString());
    std::printf(
        "%.1f min, %d phones: %ld requests, %ld errors, %ld phone orders, %ld counter steps (%ld refused)\n",
        minutes, clients, counts.requests.load(), counts.errors.load(), counts.linesAdded.load(),
        counts.counterSteps.load(), counts.counterRefusals.load());
    std::printf("Lanserve RSS (KB, every 30 s): %s\n", qPrintable(JoinSeries(serverSeries)));
    std::printf("counter RSS (KB, every 30 s): %s\n", qPrintable(JoinSeries(selfSeries)));
    std::printf("database: %s\n", check.problems.isEmpty()
                                      ? "every bill's total equals its lines, slots sound"
                                      : qPrintable(check.problems.join(QStringLiteral("; "))));
    return counts.errors.load() == 0 && check.problems.isEmpty() ? 0 : 1;
}
