// Lanserve: the LAN ordering server. Usage: Lanserve [data folder] [--port N] [--listen ADDRESS]
// [--threads N] [--help]; tests and benchmarks also give [--static-copy FILE] [--max-connections N]. The
// port and address can also come from LANSERVE_PORT and LANSERVE_LISTEN. It serves the pages of the data
// folder's phone/ folder over the database beside them.

#include "lanserve/LanServer.h"
#include "store/Claims.h"
#include "store/Database.h"
#include "store/Log.h"
#include "store/ProgramDatabase.h"
#include <malloc.h>

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <pthread.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

void say(const QString& text) {
    std::fprintf(stderr, "Lanserve: %s\n", text.toLocal8Bit().constData());
}

// The lock file Lanserve.pid: holds this process id while it runs, locked so a second server cannot start.
class PidLock {
public:
    explicit PidLock(const QString& path) : path_(QFile::encodeName(path)) {
        fd_ = ::open(path_.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0)
            return;
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd_);
            fd_ = -1;
            busy_ = true;
            return;
        }
        const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
        if (::ftruncate(fd_, 0) != 0 || ::write(fd_, pid.constData(), pid.size()) != pid.size()) {
            release();
        }
    }
    ~PidLock() { release(); }
    PidLock(const PidLock&) = delete;
    PidLock& operator=(const PidLock&) = delete;

    bool held() const { return fd_ >= 0; }
    bool busy() const { return busy_; }

    void release() {
        if (fd_ < 0)
            return;
        ::unlink(path_.constData());
        ::close(fd_);
        fd_ = -1;
    }

private:
    QByteArray path_;
    int fd_ = -1;
    bool busy_ = false;
};

constexpr const char* kUsage =
    "用法：Lanserve [数据文件夹] [--port 端口] [--listen 地址] [--threads 线程数]\n"
    "为数据文件夹中的数据库提供手机点餐页面（phone/），直到收到 SIGTERM、SIGINT 或 SIGHUP。\n"
    "  数据文件夹          存放 数据库.dat 和 phone/ 的文件夹，默认为当前文件夹\n"
    "  --port 端口         监听的 TCP 端口，默认 8212，0 表示任选空闲端口（或 LANSERVE_PORT）\n"
    "  --listen 地址       监听的 IPv4 地址，默认 0.0.0.0 即所有网卡（或 LANSERVE_LISTEN）\n"
    "  --threads 线程数    事件循环线程数，1 到 256，默认 4\n"
    "  --help              显示本说明\n";

struct Arguments {
    LanServerOptions options;
    QString error;
    bool help = false;
};

Arguments parseArguments(int argc, char** argv) {
    Arguments parsed;
    LanServerOptions& options = parsed.options;
    if (const QByteArray port = qgetenv("LANSERVE_PORT"); !port.isEmpty())
        options.port = port.toInt();
    if (const QByteArray host = qgetenv("LANSERVE_LISTEN"); !host.isEmpty())
        options.host = QString::fromLocal8Bit(host);
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const bool hasValue = i + 1 < argc;
        if (arg == QLatin1String("--port") && hasValue)
            options.port = QString::fromLocal8Bit(argv[++i]).toInt();
        else if (arg == QLatin1String("--listen") && hasValue)
            options.host = QString::fromLocal8Bit(argv[++i]);
        else if (arg == QLatin1String("--threads") && hasValue)
            options.threads = QString::fromLocal8Bit(argv[++i]).toInt();
        else if (arg == QLatin1String("--static-copy") && hasValue)
            options.staticCopy = QFile::decodeName(argv[++i]);
        else if (arg == QLatin1String("--max-connections") && hasValue)
            options.maxConnections = QString::fromLocal8Bit(argv[++i]).toUInt();
        else if (arg == QLatin1String("--help") || arg == QLatin1String("-h"))
            parsed.help = true;
        else if (!arg.startsWith(QLatin1String("--")) && options.dataFolder.isEmpty())
            options.dataFolder = QFile::decodeName(argv[i]);
        else
            parsed.error = QStringLiteral("不认识的参数 %1").arg(arg);
    }
    if (options.dataFolder.isEmpty())
        options.dataFolder = QDir::currentPath();
    options.dataFolder = QDir(options.dataFolder).absolutePath();
    if (options.port < 0 || options.port > 65535)
        parsed.error = QStringLiteral("端口号不对");
    if (options.threads < 1 || options.threads > 256)
        parsed.error = QStringLiteral("线程数应在 1 到 256 之间");
    if (options.maxConnections < 1 || options.maxConnections > 10000)
        parsed.error = QStringLiteral("连接数应在 1 到 10000 之间");
    return parsed;
}

constexpr auto kTrimInterval = std::chrono::seconds(30);
constexpr auto kStopMargin = std::chrono::seconds(1);
// Most lines the server writes to the shared log in a minute; the rest are counted, not written.
constexpr int kLogLinesPerMinute = 60;

// The one Lanserve of a database server: its claim, taken at start, renewed by a keeper and checked every
// few seconds from a connection of its own, since the serving threads hold the main one.
class OneLanserve {
public:
    explicit OneLanserve(Database& db) : check_(db.connectAgain()), keeper_(db) {}

    static bool Take(Database& db) { return Claims(db).take(QString::fromUtf8(Claims::kLanserveObject)); }
    // "（Lanserve 123@收银台）": who holds the claim, for the message that refuses to start.
    static QString Holder(Database& db) {
        const auto holder = Claims(db).heldElsewhere(QString::fromUtf8(Claims::kLanserveObject));
        return holder ? QStringLiteral("（%1）").arg(*holder) : QString();
    }

    // False once another Lanserve took the claim over (this one was cut off longer than a lease). A check
    // that fails (the server unreachable) is no answer: the claim stays this server's until another has it.
    bool stillHeld() {
        try {
            const bool held = Claims(*check_).stillHeld(QString::fromUtf8(Claims::kLanserveObject));
            failing_ = false;
            return held;
        } catch (const StoreError& error) {
            if (!failing_)
                Log::write(QStringLiteral("Lanserve：无法确认服务占用，稍后重试：%1").arg(error.text()));
            failing_ = true;
            return true;
        }
    }

    // For an exit that skips the destructors.
    void release() {
        try {
            Claims(*check_).release(QString::fromUtf8(Claims::kLanserveObject));
        } catch (const StoreError&) {
            // It runs out within a lease.
        }
    }

private:
    std::unique_ptr<Database> check_;
    ClaimKeeper keeper_;
    bool failing_ = false;
};

} // namespace

int main(int argc, char** argv) {
    // Each pool thread would otherwise get its own malloc arena, and an evening of requests spreads freed
    // memory over all of them: two arenas keep the server's memory flat.
    mallopt(M_ARENA_MAX, 2);
    // Pages of large bills are built in buffers of a few hundred KB; a fixed threshold keeps those in
    // their own mappings, returned at once, instead of letting glibc raise it and fragment the heap.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    const Arguments arguments = parseArguments(argc, argv);
    if (arguments.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!arguments.error.isEmpty()) {
        say(arguments.error);
        std::fputs(kUsage, stderr);
        return 64;
    }
    const LanServerOptions& options = arguments.options;
    const QString databasePath = options.dataFolder + QLatin1Char('/') + kDatabaseFileName;
    const QString serverAddress = ServerDatabaseAddress(options.dataFolder);
    if (serverAddress.isEmpty() && !QFileInfo::exists(databasePath)) {
        // Never create an empty database: the counter program writes it with its tables.
        say(QStringLiteral("数据库文件 %1 不存在").arg(databasePath));
        return 2;
    }

    std::unique_ptr<Database> db;
    try {
        db = serverAddress.isEmpty() ? std::make_unique<Database>(databasePath, DatabasePassword())
                                     : Database::ConnectServer(serverAddress);
        if (db->holdsNoTables()) {
            say(QStringLiteral("数据库 %1 还没有建立：请先在收银台启动点餐收银软件").arg(db->path()));
            return 2;
        }
    } catch (const StoreError& error) {
        say(error.text());
        Log::write(QStringLiteral("Lanserve：%1").arg(error.text()));
        return 2;
    }
    // Signals are taken by one thread with sigwait; every other thread inherits the blocked mask (the claim
    // keeper's thread too).
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // One server answers the restaurant's phones, whichever counter started it: its claim runs out when it
    // stops renewing it, so a server that dies frees it. Taken before anything is written to the folder.
    std::optional<OneLanserve> oneLanserve;
    try {
        if (db->isServer()) {
            if (!OneLanserve::Take(*db)) {
                say(QStringLiteral("已有一个 Lanserve 在为数据库 %1 服务").arg(db->path()) +
                    OneLanserve::Holder(*db));
                return 3;
            }
            oneLanserve.emplace(*db);
        }
    } catch (const StoreError& error) {
        say(error.text());
        Log::write(QStringLiteral("Lanserve：%1").arg(error.text()));
        return 2;
    }

    PidLock lock(options.dataFolder + QStringLiteral("/Lanserve.pid"));
    if (!lock.held()) {
        say(lock.busy() ? QStringLiteral("已有一个 Lanserve 在为 %1 服务").arg(options.dataFolder)
                        : QStringLiteral("无法写入 %1/Lanserve.pid").arg(options.dataFolder));
        return 3;
    }
    KeepDataPrivate(options.dataFolder);
    // A flood of requests must not fill the disk with log lines.
    Log::setFile(options.dataFolder + QStringLiteral("/cjpos.log"), kLogLinesPerMinute);

    LanServer server(*db, options);
    if (!server.bind()) {
        say(QStringLiteral("无法在 %1 端口 %2 上监听（端口被占用？）").arg(options.host).arg(options.port));
        return 4;
    }
    std::printf("Lanserve listening on %s port %d\n", options.host.toLocal8Bit().constData(), server.port());
    std::fflush(stdout);

    std::atomic<bool> finished{false};
    std::atomic<bool> claimLost{false};
    std::thread signalWatcher([&] {
        const timespec wait{0, 200'000'000};
        auto nextTrim = std::chrono::steady_clock::now() + kTrimInterval;
        auto nextClaimCheck = std::chrono::steady_clock::now() + Claims::RenewalInterval();
        while (!finished) {
            if (sigtimedwait(&stopSignals, nullptr, &wait) <= 0) {
                const auto now = std::chrono::steady_clock::now();
                if (now >= nextTrim) {
                    // Hands the pages that busy moments left free back to the system, so an evening's peaks
                    // do not stay in the server's memory.
                    malloc_trim(0);
                    nextTrim += kTrimInterval;
                }
                if (!oneLanserve || now < nextClaimCheck)
                    continue;
                nextClaimCheck = now + Claims::RenewalInterval();
                if (oneLanserve->stillHeld())
                    continue;
                // Cut off from the database longer than a lease, another Lanserve took over: two would
                // answer the same phones.
                claimLost = true;
                const QString message =
                    QStringLiteral("另一个 Lanserve 已接管数据库 %1 的服务，本服务停止").arg(db->path());
                say(message);
                Log::write(QStringLiteral("Lanserve：") + message);
            }
            // The serving loop answers the requests in flight and ends; should it not, wait for the
            // database work in flight, keep any other from starting, close the file and end.
            server.stop();
            const auto deadline = std::chrono::steady_clock::now() + LanServer::kDrainTime + kStopMargin;
            while (!finished && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (finished)
                return;
            server.databaseMutex().lock();
            db.reset();
            if (oneLanserve && !claimLost)
                oneLanserve->release();
            lock.release();
            std::_Exit(claimLost ? 3 : 0);
        }
    });
    const bool served = server.run();
    finished = true;
    signalWatcher.join();
    if (!served) {
        say(QStringLiteral("无法在端口 %1 上启动服务").arg(server.port()));
        return 4;
    }
    return claimLost ? 3 : 0;
}
