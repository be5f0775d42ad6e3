// What phones get from Lanserve on loopback, all in one run against one server: the signed-in table list,
// a guest's menu (through a table's code) and a guest's order, each with wrk at 50 connections, against a
// static copy of the signed-in list served by the same server; then the list and the menu while another
// process (the counter) keeps writing to the database, and the list while 80 slow connections from one
// address of their own trickle request heads. Every answer is checked (status, and a part of the body or
// the redirect that only the right page has): a run with a wrong answer prints no figures. wrk's
// connections come from addresses of their own (spread_sources), as 50 phones would.
// Last, what one phone gets while crowds of slow connections from many addresses are held: it opens a new
// connection for each request, as a phone opening a page does (wrk's connections, opened before the crowd
// came, would never meet it), and the figure is the time from connecting to the whole answer.
// Usage: bench_lanserve [seconds per run (default 8, at most 30)] [--server PATH]   (needs wrk)

#include "desk/OrderDesk.h"
#include "desk/TableMap.h"
#include "mobile/ServicePages.h"
#include "mobile/TableTokens.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Counter = OrderDesk;

constexpr int kConnections = 50;
constexpr int kSlowConnections = 80;
constexpr const char* kSlowAddress = "127.0.0.2";
// Crowds of slow connections held while one phone is timed: connections, addresses they come from.
constexpr std::pair<int, int> kCrowds[] = {{0, 0}, {800, 50}, {2000, 200}};
// The phone waits this long for an answer before it counts the request as lost.
constexpr auto kPhoneTimeout = 10s;
constexpr auto kSlowLineInterval = 3s;
constexpr const char* kListTitle = "选择餐桌";
constexpr std::string_view kSlowHeadStart = "GET /phone/list.asp HTTP/1.1\r\nHost: 127.0.0.1\r\n";
constexpr std::string_view kSlowHeadLine = "X-Slow: 1\r\n";

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
    std::printf("  counter wrote %d changes, %d failures in %d s\n", changes, failures, seconds);
    return failures == 0 ? 0 : 1;
}

// A socket connected to 127.0.0.1:port from `source`; -1 when that fails or takes longer than
// `connectTimeout` (the server's queue of connections to accept is full).
int connectFrom(const char* source, int port, std::chrono::milliseconds connectTimeout = 10s) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval timeout{static_cast<time_t>(connectTimeout.count() / 1000),
                          static_cast<suseconds_t>(connectTimeout.count() % 1000 * 1000)};
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, source, &local.sin_addr);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(port));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (socket >= 0 && ::bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
        ::connect(socket, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0)
        return socket;
    if (socket >= 0)
        ::close(socket);
    return -1;
}

struct Reply {
    int status = 0;
    QByteArray head;
    QByteArray body;
    QString header(const char* name) const {
        for (const QByteArray& line : head.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return QString::fromUtf8(line.mid(colon + 1).trimmed());
        }
        return {};
    }
};

// One request on a connection of its own ("Connection: close"); the reply read to its end (at most
// `timeout`, connecting included).
Reply exchange(int port, const QByteArray& request, std::chrono::milliseconds timeout = 10s) {
    Reply reply;
    QElapsedTimer clock;
    clock.start();
    const int socket = connectFrom("127.0.0.1", port, timeout);
    if (socket < 0)
        return reply;
    ::send(socket, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL);
    QByteArray data;
    while (clock.elapsed() < timeout.count()) {
        pollfd ready{socket, POLLIN, 0};
        if (::poll(&ready, 1, 1000) <= 0)
            continue;
        char buffer[16384];
        const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        data.append(buffer, n);
    }
    ::close(socket);
    const qsizetype split = data.indexOf("\r\n\r\n");
    reply.head = split < 0 ? data : data.left(split);
    reply.body = split < 0 ? QByteArray() : data.mid(split + 4);
    reply.status = reply.head.mid(9, 3).toInt();
    return reply;
}

Reply get(int port, const QByteArray& target, const QByteArray& cookie) {
    return exchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                              (cookie.isEmpty() ? QByteArray() : "Cookie: " + cookie + "\r\n") + "\r\n");
}

QByteArray formBody(const QList<QPair<QString, QString>>& fields) {
    QByteArray body;
    for (const auto& [key, value] : fields)
        body +=
            (body.isEmpty() ? "" : "&") + QUrl::toPercentEncoding(key) + '=' + QUrl::toPercentEncoding(value);
    return body;
}

// Signs in as staff the way a phone does; the "cjstaff=..." cookie, empty when refused.
QByteArray signIn(int port) {
    const QByteArray body = formBody({{"password", "739"}, {"next", "list.asp"}});
    const Reply reply =
        exchange(port, "POST /phone/list.asp HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                       "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                           QByteArray::number(body.size()) + "\r\n\r\n" + body);
    return reply.status == 303 ? reply.header("Set-Cookie").section(QLatin1Char(';'), 0, 0).toLatin1()
                               : QByteArray();
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

// The address of the i-th address of a crowd: 127.0.2.1 on.
QByteArray crowdAddress(int i) {
    return "127.0." + QByteArray::number(2 + i / 250) + '.' + QByteArray::number(1 + i % 250);
}

// Connections spread over addresses that each send the start of a request head and then a header line
// every 3 s, reconnecting whenever the server closes one, until stopped.
class SlowClients {
public:
    // `count` connections from kSlowAddress, or spread over `addresses` crowd addresses.
    SlowClients(int port, int count, int addresses = 0) {
        for (int i = 0; i < count; ++i)
            sources_.push_back(addresses > 0 ? crowdAddress(i % addresses) : QByteArray(kSlowAddress));
        worker_ = std::jthread([this, port](const std::stop_token& stop) { trickle(port, stop); });
    }
    long connects() const { return connects_; }
    long closedByServer() const { return closed_; }

private:
    void trickle(int port, const std::stop_token& stop) {
        std::vector<int> sockets(sources_.size(), -1);
        auto nextLine = std::chrono::steady_clock::now() + kSlowLineInterval;
        while (!stop.stop_requested()) {
            for (std::size_t i = 0; i < sockets.size() && !stop.stop_requested(); ++i) {
                int& socket = sockets[i];
                if (socket >= 0)
                    continue;
                // A full queue at the server holds a connect back; the crowd tries again next round.
                socket = connectFrom(sources_[i].constData(), port, 100ms);
                ++connects_;
                if (socket >= 0)
                    ::send(socket, kSlowHeadStart.data(), kSlowHeadStart.size(), MSG_NOSIGNAL);
            }
            const bool lineDue = std::chrono::steady_clock::now() >= nextLine;
            if (lineDue)
                nextLine += kSlowLineInterval;
            for (int& socket : sockets) {
                if (socket < 0)
                    continue;
                pollfd ready{socket, POLLIN, 0};
                char buffer[4096];
                const bool closed = ::poll(&ready, 1, 0) > 0 && ::recv(socket, buffer, sizeof buffer, 0) <= 0;
                if (closed ||
                    (lineDue && ::send(socket, kSlowHeadLine.data(), kSlowHeadLine.size(), MSG_NOSIGNAL) !=
                                    static_cast<ssize_t>(kSlowHeadLine.size()))) {
                    ::close(socket);
                    socket = -1;
                    ++closed_;
                }
            }
            std::this_thread::sleep_for(100ms);
        }
        for (const int socket : sockets)
            if (socket >= 0)
                ::close(socket);
    }

    std::vector<QByteArray> sources_;
    std::atomic<long> connects_{0};
    std::atomic<long> closed_{0};
    std::jthread worker_;
};

struct PhoneFigures {
    std::vector<double> millis; // of every answer
    long wrong = 0;             // answers that were not the page, or none within kPhoneTimeout
    double percentile(double p) const {
        std::vector<double> sorted = millis;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty()
                   ? 0
                   : sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(p / 100 * sorted.size()))];
    }
};

// One phone asking for the signed-in list again and again for `seconds`, each time on a new connection,
// a few milliseconds apart.
PhoneFigures timePhone(int port, const QByteArray& staff, int seconds) {
    const QByteArray request =
        "GET /phone/list.asp HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nCookie: " + staff +
        "\r\n\r\n";
    PhoneFigures figures;
    QElapsedTimer run;
    run.start();
    while (run.elapsed() < seconds * 1000LL) {
        QElapsedTimer clock;
        clock.start();
        const Reply reply = exchange(port, request, kPhoneTimeout);
        const double elapsed = clock.nsecsElapsed() / 1e6;
        if (reply.status == 200 && reply.body.contains(kListTitle))
            figures.millis.push_back(elapsed);
        else
            ++figures.wrong;
        std::this_thread::sleep_for(10ms);
    }
    return figures;
}

struct Phase {
    QString name;
    QString target;
    int expected = 200;
    QByteArray marker; // in every body, or for a redirect in its Location
    QByteArray cookie;
    QList<QByteArray> bodies; // POST bodies, taken in turn
    bool counterWriting = false;
    bool underAttack = false;
};

struct Figures {
    long requests = 0;
    double seconds = 0;
    double p50Ms = 0;
    double p99Ms = 0;
    long wrong = 0;       // answers with another status or without the marker
    QString socketErrors; // empty when none
    QString failure;      // why wrk gave no figures
    double rate() const { return seconds > 0 ? requests / seconds : 0; }
};

QByteArray luaText(const QByteArray& text) {
    return "[==[" + text + "]==]";
}

QByteArray wrkScript(const Phase& phase) {
    QByteArray bodies;
    for (const QByteArray& body : phase.bodies)
        bodies += luaText(body) + ",\n";
    return "local expected = " + QByteArray::number(phase.expected) +
           "\nlocal marker = " + luaText(phase.marker) + "\nlocal bodies = {\n" + bodies + "}\n" +
           (phase.bodies.isEmpty() ? ""
                                   : "wrk.method = \"POST\"\nwrk.headers[\"Content-Type\"] = "
                                     "\"application/x-www-form-urlencoded\"\n") +
           (phase.cookie.isEmpty() ? QByteArray()
                                   : "wrk.headers[\"Cookie\"] = " + luaText(phase.cookie) + "\n") +
           R"(
local threads = {}
function setup(thread) table.insert(threads, thread); thread:set("id", #threads) end
wrong = 0
sent = 0
if #bodies > 0 then
  function request()
    sent = sent + 1
    local key = string.format("%08x%08x%016d", id or 0, sent, os.time())
    return wrk.format(nil, nil, nil, (string.gsub(bodies[sent % #bodies + 1], "@KEY@", key)))
  end
end
function response(status, headers, body)
  local text = (expected >= 300 and expected < 400) and (headers["Location"] or "") or (body or "")
  if status ~= expected or string.find(text, marker, 1, true) == nil then wrong = wrong + 1 end
end
function done(summary, latency, requests)
  local wrongs = 0
  for _, thread in ipairs(threads) do wrongs = wrongs + thread:get("wrong") end
  local e = summary.errors
  io.write(string.format("RESULT requests=%d micros=%d p50=%d p99=%d wrong=%d connect=%d read=%d write=%d timeout=%d status=%d\n",
    summary.requests, summary.duration, latency:percentile(50), latency:percentile(99), wrongs,
    e.connect, e.read, e.write, e.timeout, e.status))
end
)";
}

Figures runWrk(const QString& url, const Phase& phase, int seconds, const QString& scriptPath) {
    Figures figures;
    QFile script(scriptPath);
    if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        figures.failure = QStringLiteral("cannot write %1").arg(scriptPath);
        return figures;
    }
    script.write(wrkScript(phase));
    script.close();
    QProcess wrk;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(CJ_SPREAD_SOURCES));
    environment.insert(QStringLiteral("SPREAD_SOURCES"), QString::number(kConnections));
    wrk.setProcessEnvironment(environment);
    wrk.start(QStringLiteral("wrk"),
              {QStringLiteral("-t2"), QStringLiteral("-c%1").arg(kConnections),
               QStringLiteral("-d%1s").arg(seconds), QStringLiteral("-s"), scriptPath, url + phase.target});
    if (!wrk.waitForFinished((seconds + 30) * 1000)) {
        wrk.kill();
        wrk.waitForFinished(2000);
        figures.failure = QStringLiteral("wrk did not finish");
        return figures;
    }
    const QString output = QString::fromLocal8Bit(wrk.readAllStandardOutput());
    const QRegularExpressionMatch result =
        QRegularExpression(QStringLiteral("RESULT requests=(\\d+) micros=(\\d+) p50=(\\d+) p99=(\\d+) "
                                          "wrong=(\\d+) connect=(\\d+) read=(\\d+) write=(\\d+) "
                                          "timeout=(\\d+) status=(\\d+)"))
            .match(output);
    if (!result.hasMatch()) {
        figures.failure = QStringLiteral("wrk gave no result: ") + output +
                          QString::fromLocal8Bit(wrk.readAllStandardError());
        return figures;
    }
    const auto number = [&](int i) { return result.captured(i).toLong(); };
    figures.requests = number(1);
    figures.seconds = number(2) / 1e6;
    figures.p50Ms = number(3) / 1e3;
    figures.p99Ms = number(4) / 1e3;
    figures.wrong = number(5);
    QStringList errors;
    const char* kinds[] = {"connect", "read", "write", "timeout", "non-2xx/3xx"};
    for (int i = 0; i < 5; ++i)
        if (number(6 + i) > 0)
            errors.append(QStringLiteral("%1 %2").arg(QLatin1String(kinds[i])).arg(number(6 + i)));
    figures.socketErrors = errors.join(QStringLiteral(", "));
    return figures;
}

int startServer(QProcess& server, const QString& program, const QString& folder, const QStringList& extra) {
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
        const auto match = QRegularExpression(QStringLiteral("port (\\d+)")).match(QString::fromLatin1(out));
        if (match.hasMatch())
            return match.captured(1).toInt();
    }
    return 0;
}

void stopServer(QProcess& server) {
    server.terminate();
    if (!server.waitForFinished(8000)) {
        server.kill();
        server.waitForFinished(2000);
    }
}

// The signed-in list page as the server renders it, to be served unchanged as the static copy.
QByteArray renderedList(const QString& program, const QString& folder) {
    QProcess server;
    const int port = startServer(server, program, folder, {});
    if (port == 0)
        return {};
    const Reply list = get(port, "/phone/list.asp", signIn(port));
    stopServer(server);
    return list.status == 200 && list.body.contains(kListTitle) ? list.body : QByteArray();
}

// A guest's order for each table: the first dish once, as the menu behind the table's code offers it. Each
// request carries a one-time key of its own (made by the load script in place of @KEY@), so every answer
// is an order placed, never the answer to a repeat.
QList<QByteArray> guestOrders(Database& db, const QString& dishKey) {
    SettingsStore settings(db);
    const QStringList keys = settings.tableKeys();
    const QStringList names = settings.tableList();
    const QHash<QString, QString> tokens = TableTokens::EnsureTokens(db, keys);
    QList<QByteArray> bodies;
    for (int i = 0; i < keys.size() && i < names.size(); ++i)
        bodies.append(formBody({{"t", tokens.value(keys.at(i))},
                                {"tn", names.at(i)},
                                {"go", "1"},
                                {QLatin1Char('q') + dishKey, "1"}}) +
                      "&k=@KEY@");
    return bodies;
}

QString millis(double ms) {
    return QStringLiteral("%1 ms").arg(ms, 0, 'f', ms < 10 ? 2 : 1);
}

// The crowds hold a few thousand sockets.
void allowManyFiles() {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
}

// The phone's figures while each crowd is held; false when any answer was not the list page.
bool timePhoneInCrowds(int port, const QByteArray& staff, int seconds) {
    std::printf("\n%-28s %8s %10s %10s %10s  %s\n", "one phone, new connections", "answers", "p50", "p99",
                "max", "notes");
    bool allRight = true;
    for (const auto& [count, addresses] : kCrowds) {
        const QString name = count == 0 ? QStringLiteral("no crowd")
                                        : QStringLiteral("%1 slow from %2 addrs").arg(count).arg(addresses);
        std::unique_ptr<SlowClients> crowd;
        if (count > 0) {
            crowd = std::make_unique<SlowClients>(port, count, addresses);
            QThread::msleep(2000); // the crowd gathers
        }
        const PhoneFigures phone = timePhone(port, staff, seconds);
        const QString notes = crowd ? QStringLiteral("crowd: %1 connects, %2 closed by the server")
                                          .arg(crowd->connects())
                                          .arg(crowd->closedByServer())
                                    : QString();
        crowd.reset();
        if (phone.wrong > 0 || phone.millis.empty()) {
            allRight = false;
            std::printf("%-28s no figures: %ld of %zu requests got no list page within %lld s\n",
                        qPrintable(name), phone.wrong,
                        phone.millis.size() + static_cast<std::size_t>(phone.wrong),
                        static_cast<long long>(std::chrono::seconds(kPhoneTimeout).count()));
            continue;
        }
        std::printf("%-28s %8zu %10s %10s %10s  %s\n", qPrintable(name), phone.millis.size(),
                    qPrintable(millis(phone.percentile(50))), qPrintable(millis(phone.percentile(99))),
                    qPrintable(millis(phone.percentile(100))), qPrintable(notes));
        std::fflush(stdout);
    }
    return allRight;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    allowManyFiles();
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args.at(1) == QLatin1String("--writer"))
        return runWriter(args.at(2), args.at(3).toInt());
    int seconds = 8;
    QString program = QStringLiteral(CJ_BIN_DIR "/Lanserve");
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--server") && i + 1 < args.size())
            program = args.at(++i);
        else
            seconds = std::clamp(args.at(i).toInt(), 1, 30);
    }

    QTemporaryDir home;
    const QString folder = home.path() + QStringLiteral("/data");
    QDir().mkpath(folder);
    auto db = OpenProgramDatabase(folder);
    fillTables(*db);
    const QStringList keys = SettingsStore(*db).tableKeys();
    const QString guestToken = TableTokens::EnsureTokens(*db, keys).value(keys.value(0));
    WriteServicePages(folder);

    const QString staticCopy = home.path() + QStringLiteral("/list.html");
    {
        const QByteArray list = renderedList(program, folder);
        QFile out(staticCopy);
        if (list.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(list) != list.size()) {
            std::fprintf(stderr, "could not render the signed-in list page with %s\n", qPrintable(program));
            return 1;
        }
    }
    QProcess server;
    const int port = startServer(server, program, folder, {QStringLiteral("--static-copy"), staticCopy});
    const QByteArray staff = port ? signIn(port) : QByteArray();
    const QByteArray guestMenuTarget = "/phone/menu.asp?t=" + guestToken.toLatin1() + "&c=0";
    const Reply guestMenu = get(port, guestMenuTarget, {});
    static const QRegularExpression dishBox(QStringLiteral("name=\"q(\\d+)\""));
    const QString dishKey = dishBox.match(QString::fromUtf8(guestMenu.body)).captured(1);
    if (staff.isEmpty() || guestMenu.status != 200 || dishKey.isEmpty()) {
        std::fprintf(stderr, "Lanserve did not start, sign in or show the guest menu\n");
        return 1;
    }
    const QByteArray dishBoxField = "name=\"q" + dishKey.toLatin1() + "\"";
    const QList<Phase> phases{
        {QStringLiteral("static copy"), QStringLiteral("/bench/static.html"), 200, kListTitle, {}, {}},
        {QStringLiteral("list.asp (staff)"), QStringLiteral("/phone/list.asp"), 200, kListTitle, staff, {}},
        {QStringLiteral("menu.asp (guest)"), QString::fromLatin1(guestMenuTarget), 200, dishBoxField, {}, {}},
        {QStringLiteral("order (guest POST)"),
         QStringLiteral("/phone/savemenu.asp"),
         303,
         "&m=added",
         {},
         guestOrders(*db, dishKey)},
        {QStringLiteral("list.asp, counter writing"),
         QStringLiteral("/phone/list.asp"),
         200,
         kListTitle,
         staff,
         {},
         true},
        {QStringLiteral("menu.asp, counter writing"),
         QString::fromLatin1(guestMenuTarget),
         200,
         dishBoxField,
         {},
         {},
         true},
        {QStringLiteral("list.asp, 80 slow conns"),
         QStringLiteral("/phone/list.asp"),
         200,
         kListTitle,
         staff,
         {},
         false,
         true},
    };
    db.reset();

    std::printf("%s on 127.0.0.1:%d, list page %lld bytes, %d s per run, %d connections from %d addresses\n",
                qPrintable(QFileInfo(program).fileName()), port,
                static_cast<long long>(QFileInfo(staticCopy).size()), seconds, kConnections, kConnections);
    std::printf("%-28s %12s %10s %10s %9s  %s\n", "run", "requests/s", "p50", "p99", "of static", "notes");
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    double staticRate = 0;
    bool allRight = true;
    for (const Phase& phase : phases) {
        QProcess writer;
        if (phase.counterWriting)
            writer.start(QCoreApplication::applicationFilePath(),
                         {QStringLiteral("--writer"), folder, QString::number(seconds + 1)});
        std::unique_ptr<SlowClients> attack;
        if (phase.underAttack) {
            attack = std::make_unique<SlowClients>(port, kSlowConnections);
            QThread::msleep(1000);
        }
        const Figures figures = runWrk(base, phase, seconds, home.path() + QStringLiteral("/phase.lua"));
        QString notes = figures.socketErrors;
        if (attack) {
            notes += QStringLiteral("%1slow side: %2 connects, %3 closed by the server")
                         .arg(notes.isEmpty() ? "" : "; ")
                         .arg(attack->connects())
                         .arg(attack->closedByServer());
            attack.reset();
        }
        if (phase.counterWriting) {
            writer.waitForFinished((seconds + 10) * 1000);
            notes += QString::fromLocal8Bit(writer.readAllStandardOutput()).trimmed();
        }
        if (!figures.failure.isEmpty() || figures.requests == 0 || figures.wrong > 0) {
            allRight = false;
            std::printf("%-28s no figures: %s\n", qPrintable(phase.name),
                        figures.failure.isEmpty()
                            ? qPrintable(QStringLiteral("%1 of %2 answers were not the expected %3 page")
                                             .arg(figures.wrong)
                                             .arg(figures.requests)
                                             .arg(phase.expected))
                            : qPrintable(figures.failure));
            continue;
        }
        if (phase.target == QLatin1String("/bench/static.html"))
            staticRate = figures.rate();
        const QString ratio = staticRate > 0 && phase.target != QLatin1String("/bench/static.html")
                                  ? QString::number(figures.rate() / staticRate, 'f', 2)
                                  : QStringLiteral("-");
        std::printf("%-28s %12.0f %10s %10s %9s  %s\n", qPrintable(phase.name), figures.rate(),
                    qPrintable(millis(figures.p50Ms)), qPrintable(millis(figures.p99Ms)), qPrintable(ratio),
                    qPrintable(notes));
        std::fflush(stdout);
    }
    allRight = timePhoneInCrowds(port, staff, seconds) && allRight;
    stopServer(server);
    return allRight ? 0 : 1;
}
