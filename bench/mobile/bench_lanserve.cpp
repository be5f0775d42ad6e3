// Lanserve under load on loopback: list.asp and menu.asp at 50 connections with wrk while another process
// keeps writing order lines to the same database, and a static copy of the rendered list page served by
// the same server as the reference. Each wrk run is bounded (default 8 s, at most 30 s).
// Usage: bench_lanserve [seconds per run]   (needs wrk)

#include "app/ServicePages.h"
#include "app/Startup.h"
#include "bill/BillStore.h"
#include "main/OrderDesk.h"
#include "main/TableMap.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

using Counter = OrderDesk;

// The counter's side: adds a line to a table, changes it, deletes it, again and again, until time is up.
int runWriter(const QString& folder, int seconds) {
    auto db = OpenProgramDatabase(folder);
    QElapsedTimer clock;
    clock.start();
    int changes = 0;
    int failures = 0;
    while (clock.elapsed() < seconds * 1000LL) {
        try {
            Counter counter(*db);
            counter.openTable(1, QDateTime::currentDateTime());
            counter.menu.chooseCategory(kDrinks);
            const int at = counter.bill.addItem(counter.menu.records().at(0), QDateTime::currentDateTime());
            counter.bill.setQuantity(at, QStringLiteral("2"));
            counter.bill.selectLine(at);
            counter.bill.deleteSelected();
            changes += 3;
        } catch (const StoreError&) {
            ++failures;
        }
        QThread::msleep(5);
    }
    std::printf("writer: %d changes, %d failures in %d s\n", changes, failures, seconds);
    return failures == 0 ? 0 : 1;
}

struct WrkResult {
    double requestsPerSecond = 0;
    QString p50;
    QString p90;
    QString p99;
    QString errors = QStringLiteral("0");
    QString raw;
};

WrkResult runWrk(const QString& url, int seconds) {
    QProcess wrk;
    wrk.start(QStringLiteral("wrk"),
              {QStringLiteral("-t2"), QStringLiteral("-c50"), QStringLiteral("-d%1s").arg(seconds),
               QStringLiteral("--latency"), url});
    WrkResult result;
    if (!wrk.waitForFinished((seconds + 20) * 1000)) {
        wrk.kill();
        wrk.waitForFinished(2000);
        result.raw = QStringLiteral("wrk did not finish");
        return result;
    }
    result.raw = QString::fromLocal8Bit(wrk.readAllStandardOutput());
    const auto capture = [&](const char* pattern) {
        return QRegularExpression(QString::fromLatin1(pattern)).match(result.raw).captured(1);
    };
    result.requestsPerSecond = capture("Requests/sec:\\s+([0-9.]+)").toDouble();
    result.p50 = capture("\\s50%\\s+(\\S+)");
    result.p90 = capture("\\s90%\\s+(\\S+)");
    result.p99 = capture("\\s99%\\s+(\\S+)");
    QStringList errors;
    const QString socketErrors = capture("Socket errors:\\s*([^\\n]+)");
    if (!socketErrors.isEmpty())
        errors.append(QStringLiteral("socket ") + socketErrors.trimmed());
    const QString non2xx = capture("Non-2xx or 3xx responses:\\s*(\\d+)");
    if (!non2xx.isEmpty())
        errors.append(QStringLiteral("non-2xx ") + non2xx);
    if (!errors.isEmpty())
        result.errors = errors.join(QStringLiteral(", "));
    return result;
}

// Gives some tables an open bill, so the list shows totals as on a busy evening.
void fillTables(Database& db) {
    for (int table = 2; table < 8; ++table) {
        Counter counter(db);
        counter.openTable(table, QDateTime::currentDateTime());
        counter.menu.chooseCategory(kDishes);
        for (int i = 0; i < 3 && i < counter.menu.records().size(); ++i)
            counter.bill.addItem(counter.menu.records().at(i), QDateTime::currentDateTime());
    }
}

QByteArray fetch(int port, const QString& target) {
    // One plain GET through bash's /dev/tcp keeps this benchmark free of an HTTP client library.
    QProcess get;
    get.start(QStringLiteral("bash"),
              {QStringLiteral("-c"),
               QStringLiteral("exec 3<>/dev/tcp/127.0.0.1/%1; printf 'GET %2 HTTP/1.1\\r\\nHost: x\\r\\n"
                              "Connection: close\\r\\n\\r\\n' >&3; cat <&3")
                   .arg(port)
                   .arg(target)});
    get.waitForFinished(10000);
    const QByteArray reply = get.readAllStandardOutput();
    const qsizetype split = reply.indexOf("\r\n\r\n");
    return split < 0 ? QByteArray() : reply.mid(split + 4);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args.at(1) == QLatin1String("--writer"))
        return runWriter(args.at(2), args.at(3).toInt());
    const int seconds = std::clamp(args.size() > 1 ? args.at(1).toInt() : 8, 1, 30);

    QTemporaryDir home;
    const QString folder = home.path() + QStringLiteral("/data");
    QDir().mkpath(folder);
    {
        auto db = OpenProgramDatabase(folder);
        fillTables(*db);
    }
    WriteServicePages(folder);

    // First a server to render the list page once, then the one under test with its static copy.
    const QString program = QStringLiteral(CJ_BIN_DIR "/Lanserve");
    const auto startServer = [&](QProcess& server, const QStringList& extra) {
        server.start(program, QStringList{folder, QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                                          QStringLiteral("--port"), QStringLiteral("0")} +
                                  extra);
        if (!server.waitForStarted(5000))
            return 0;
        QByteArray out;
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && server.state() == QProcess::Running) {
            server.waitForReadyRead(200);
            out += server.readAllStandardOutput();
            const auto match =
                QRegularExpression(QStringLiteral("port (\\d+)")).match(QString::fromLatin1(out));
            if (match.hasMatch())
                return match.captured(1).toInt();
        }
        return 0;
    };
    const QString staticCopy = home.path() + QStringLiteral("/list.html");
    {
        QProcess first;
        const int port = startServer(first, {});
        if (port == 0) {
            std::fprintf(stderr, "Lanserve did not start\n");
            return 1;
        }
        QFile out(staticCopy);
        out.open(QIODevice::WriteOnly);
        out.write(fetch(port, QStringLiteral("/phone/list.asp")));
        out.close();
        first.terminate();
        first.waitForFinished(3000);
    }
    QProcess server;
    const int port = startServer(server, {QStringLiteral("--static-copy"), staticCopy});
    if (port == 0) {
        std::fprintf(stderr, "Lanserve did not start\n");
        return 1;
    }
    std::printf(
        "Lanserve on 127.0.0.1:%d, list page %lld bytes, %d s per run, 50 connections, 2 wrk threads\n", port,
        static_cast<long long>(QFileInfo(staticCopy).size()), seconds);

    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    const QList<QPair<QString, QString>> runs{
        {QStringLiteral("static copy"), QStringLiteral("/bench/static.html")},
        {QStringLiteral("list.asp"), QStringLiteral("/phone/list.asp")},
        {QStringLiteral("menu.asp"), QStringLiteral("/phone/menu.asp?t=0&c=0")}};
    double staticRate = 0;
    std::printf("%-12s %-9s %12s %10s %10s %10s  %s\n", "page", "writer", "requests/s", "p50", "p90", "p99",
                "errors");
    for (const bool withWriter : {false, true}) {
        for (const auto& [name, target] : runs) {
            if (withWriter && name == QLatin1String("static copy"))
                continue;
            QProcess writer;
            if (withWriter)
                writer.start(QCoreApplication::applicationFilePath(),
                             {QStringLiteral("--writer"), folder, QString::number(seconds + 1)});
            const WrkResult result = runWrk(base + target, seconds);
            if (withWriter) {
                writer.waitForFinished((seconds + 10) * 1000);
                std::printf("  %s", writer.readAllStandardOutput().constData());
            }
            if (name == QLatin1String("static copy"))
                staticRate = result.requestsPerSecond;
            const QString ratio =
                staticRate > 0 && name != QLatin1String("static copy")
                    ? QStringLiteral(" (%1 of static)").arg(result.requestsPerSecond / staticRate, 0, 'f', 2)
                    : QString();
            std::printf("%-12s %-9s %12.0f %10s %10s %10s  %s%s\n", qPrintable(name),
                        withWriter ? "writing" : "idle", result.requestsPerSecond, qPrintable(result.p50),
                        qPrintable(result.p90), qPrintable(result.p99), qPrintable(result.errors),
                        qPrintable(ratio));
            if (result.requestsPerSecond == 0)
                std::printf("%s\n", qPrintable(result.raw));
        }
    }
    server.terminate();
    server.waitForFinished(3000);
    return 0;
}
