// What only a database server does: copies between a file and the server, notices and table claims
// between counters, a connection the server dropped, pg_dump backups, and phones and counters writing at
// once.
#include "common/TestHome.h"

#include "app/DatabaseCopy.h"
#include "bill/BillStore.h"
#include "bill/TableLease.h"
#include "desk/OrderDesk.h"
#include "store/Backup.h"
#include "store/Claims.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"
#include "store/Schema.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QUrl>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

qint64 count(Database& db, const char* sql) {
    Statement query(db, sql);
    return query.next() ? query.integer(0) : -1;
}

QStringList rows(Database& db, const char* sql) {
    Statement query(db, sql);
    QStringList values;
    while (query.next()) {
        QStringList row;
        for (int i = 0; i < query.columnCount(); ++i)
            row.append(query.isNull(i) ? QStringLiteral("<null>") : query.text(i));
        values.append(row.join(QLatin1Char('|')));
    }
    return values;
}

// A few bills with lines, one with NULL fields, as the file keeps them.
void addBills(Database& db, int bills, int first = 0) {
    Transaction step(db);
    for (int b = first; b < first + bills; ++b) {
        const QString id = QStringLiteral("202412121300%1").arg(b, 2, 10, QLatin1Char('0'));
        Statement head(
            db,
            "INSERT INTO \"桌台\" (\"id\", \"日期\", \"桌号\", \"应收\", \"姓名\") VALUES (?, ?, ?, ?, ?)");
        head.bind(1, id).bind(2, QStringLiteral("2024-12-12 13:00:00")).bind(3, QStringLiteral("大厅001"));
        head.bind(4, QString::number(10 * (b + 1)));
        if (b == 0)
            head.bindNull(5);
        else
            head.bind(5, QStringLiteral("张三%1").arg(b));
        head.run();
        Statement line(db, "INSERT INTO \"明细\" (\"id\", \"序号\", \"名称\", \"金额\", \"分类\") VALUES (?, "
                           "?, ?, ?, '菜品')");
        line.bind(1, id)
            .bind(2, id + QStringLiteral("001"))
            .bind(3, QStringLiteral("宫保鸡丁"))
            .bind(4, QStringLiteral("28"));
        line.run();
    }
    step.commit();
}

// Waits up to five seconds for a notice on the connection's socket.
bool noticeArrives(Database& db) {
    for (int i = 0; i < 50; ++i) {
        if (!db.takeNotifications().isEmpty())
            return true;
        pollfd watch{db.notificationSocket(), POLLIN, 0};
        ::poll(&watch, 1, 100);
    }
    return false;
}

// Passes TCP between a port of its own on 127.0.0.1 and the server, until told to stop forwarding: then
// the connections stay open but nothing goes through, as when a cable between two switches is pulled.
class StallingProxy {
public:
    explicit StallingProxy(quint16 serverPort) : serverPort_(serverPort) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_, 8) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw StoreError(QStringLiteral("proxy cannot listen"));
        port_ = ntohs(address.sin_port);
        worker_ = std::thread([this] { run(); });
    }
    ~StallingProxy() {
        stop_ = true;
        worker_.join();
        for (const auto& [client, server] : pairs_) {
            ::close(client);
            ::close(server);
        }
        ::close(listener_);
    }
    quint16 port() const { return port_; }
    void setForwarding(bool on) { forwarding_ = on; }

private:
    void run() {
        while (!stop_) {
            std::vector<pollfd> watched{{listener_, POLLIN, 0}};
            if (forwarding_)
                for (const auto& [client, server] : pairs_) {
                    watched.push_back({client, POLLIN, 0});
                    watched.push_back({server, POLLIN, 0});
                }
            if (::poll(watched.data(), watched.size(), 50) <= 0)
                continue;
            if (watched[0].revents & POLLIN)
                accept();
            std::vector<std::pair<int, int>> open;
            for (size_t p = 0; p < pairs_.size(); ++p) {
                auto [client, server] = pairs_[p];
                const size_t i = 1 + 2 * p;
                const bool clientOk =
                    i >= watched.size() || !(watched[i].revents & (POLLIN | POLLHUP)) || pass(client, server);
                const bool serverOk = i + 1 >= watched.size() ||
                                      !(watched[i + 1].revents & (POLLIN | POLLHUP)) || pass(server, client);
                if (clientOk && serverOk) {
                    open.emplace_back(client, server);
                } else {
                    ::close(client);
                    ::close(server);
                }
            }
            pairs_ = std::move(open);
        }
    }
    void accept() {
        const int client = ::accept(listener_, nullptr, nullptr);
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(serverPort_);
        if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(client);
            ::close(server);
            return;
        }
        pairs_.emplace_back(client, server);
    }
    // False once either side has closed.
    static bool pass(int from, int to) {
        char buffer[16384];
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        for (ssize_t sent = 0; got > 0 && sent < got;) {
            const ssize_t n = ::write(to, buffer + sent, static_cast<size_t>(got - sent));
            if (n <= 0)
                return false;
            sent += n;
        }
        return got > 0;
    }

    quint16 serverPort_;
    quint16 port_ = 0;
    int listener_ = -1;
    std::vector<std::pair<int, int>> pairs_;
    std::atomic<bool> forwarding_{true};
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

const char* const kBillRows =
    "SELECT \"id\", \"日期\", \"桌号\", \"应收\", \"姓名\" FROM \"桌台\" ORDER BY \"id\"";
const char* const kLineRows = "SELECT \"id\", \"序号\", \"名称\", \"金额\" FROM \"明细\" ORDER BY \"序号\"";

} // namespace

class ServerDatabaseTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void copiesBothWaysKeepEveryRowAndRefuseToOverwriteBills() {
        TestHome home;
        const QString file = home.path(QStringLiteral("源.dat"));
        Database source(file, DatabasePassword());
        CreateSchema(source);
        addBills(source, 7);

        const auto server = Database::ConnectServer(TestHome::createServerDatabase());
        const CopyReport there = CopyDatabase(source, *server, {});
        QCOMPARE(there.bills, 7);
        QCOMPARE(rows(*server, kBillRows), rows(source, kBillRows));
        QCOMPARE(rows(*server, kLineRows), rows(source, kLineRows));
        // The sample menu and the slots came along, in the file's order.
        QCOMPARE(rows(*server, "SELECT \"名称\" FROM \"菜单\" ORDER BY rowid"),
                 rows(source, "SELECT \"名称\" FROM \"菜单\" ORDER BY rowid"));

        // A second copy onto a server that now holds bills is refused and changes nothing.
        addBills(source, 9, 7);
        QVERIFY_THROWS_EXCEPTION(StoreError, CopyDatabase(source, *server, {}));
        QCOMPARE(count(*server, "SELECT count(*) FROM \"桌台\""), 7);
        CopyOptions overwrite;
        overwrite.overwrite = true;
        QCOMPARE(CopyDatabase(source, *server, overwrite).bills, 16);

        Database back(home.path(QStringLiteral("回来.dat")), DatabasePassword());
        CopyDatabase(*server, back, {});
        QCOMPARE(rows(back, kBillRows), rows(source, kBillRows));
        QCOMPARE(rows(back, kLineRows), rows(source, kLineRows));
    }

    // The file keeps a longer value than the server's column takes: the copy says where it is and the
    // server keeps nothing of it.
    void copyToServerNamesTheValueTooLongForIt() {
        TestHome home;
        Database source(home.path(QStringLiteral("源.dat")), DatabasePassword());
        CreateSchema(source);
        addBills(source, 2);
        Statement longRemark(source, "UPDATE \"桌台\" SET \"备注\" = ? WHERE \"id\" = '20241212130001'");
        longRemark.bind(1, QString(51, QChar(u'长'))).run();

        const auto server = Database::ConnectServer(TestHome::createServerDatabase());
        try {
            CopyDatabase(source, *server, {});
            QFAIL("the copy went ahead");
        } catch (const StoreError& error) {
            QVERIFY2(error.text().contains(QStringLiteral("“桌台”表第 2 行")) &&
                         error.text().contains(QStringLiteral("“备注”有 51 个字符")),
                     qPrintable(error.text()));
        }
        QVERIFY(!HasTable(*server, "桌台"));
    }

    // A role that may read and write the rows of a prepared database, but not create anything, works on
    // it; a copy from the server changes nothing there either.
    void aRoleWithoutCreateWorksOnAPreparedDatabase() {
        const QString address = TestHome::createServerDatabase();
        const auto admin = OpenServerDatabase(address);
        const QByteArray role = "cjrw_" + QByteArray::number(::getpid());
        admin->exec("CREATE ROLE " + role + " LOGIN");
        admin->exec("REVOKE CREATE ON SCHEMA public FROM PUBLIC");
        admin->exec("GRANT USAGE ON SCHEMA public TO " + role);
        admin->exec("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO " + role);
        admin->exec("GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA public TO " + role);
        const qint64 objectsBefore = count(*admin, "SELECT count(*) FROM pg_class");

        QUrl asRole(address);
        asRole.setUserName(QString::fromLatin1(role));
        const auto counter = OpenServerDatabase(asRole.toString());
        addBills(*counter, 1);
        QCOMPARE(count(*admin, "SELECT count(*) FROM \"桌台\""), 1);

        TestHome home;
        Database copy(home.path(QStringLiteral("副本.dat")), DatabasePassword());
        QCOMPARE(CopyDatabase(*counter, copy, {}).bills, 1);
        QCOMPARE(count(*admin, "SELECT count(*) FROM pg_class"), objectsBefore);

        // An empty database cannot be prepared by that role: the message is about its rights.
        QUrl empty(TestHome::createServerDatabase());
        empty.setUserName(QString::fromLatin1(role));
        try {
            OpenServerDatabase(empty.toString());
            QFAIL("an empty database was prepared without the right to create tables");
        } catch (const StoreError& error) {
            QVERIFY2(error.text().contains(QStringLiteral("用户权限不足")), qPrintable(error.text()));
        }
    }

    // A network that stops forwarding fails the step with the message within the answer time instead of
    // holding the counter; once the network is back the next step works.
    void aStalledNetworkFailsTheStepAndTheNextOneWorksAgain() {
        QUrl address(TestHome::createServerDatabase());
        StallingProxy proxy(static_cast<quint16>(address.port()));
        address.setPort(proxy.port());
        const auto db = OpenServerDatabase(address.toString());
        // The window hears of the wait while it lasts, and of its end.
        QList<std::pair<qint64, bool>> told;
        // The window takes events while it waits; whatever asks the server meanwhile is refused at once.
        QStringList refusedMeanwhile;
        db->setWaitObserver([&](std::chrono::milliseconds waited, bool finished) {
            told.append({waited.count(), finished});
            if (finished || !refusedMeanwhile.isEmpty())
                return;
            try {
                count(*db, "SELECT count(*) FROM \"桌台\"");
            } catch (const StoreError& error) {
                refusedMeanwhile.append(error.text());
            }
        });
        const auto toldOfOneWait = [&told] {
            QVERIFY(told.size() >= 3);
            QVERIFY(told.first().first >= kServerWaitShownAfter.count());
            QVERIFY(told.last().second);
            QVERIFY(told.last().first <= 1500 + 500);
            for (qsizetype i = 0; i + 1 < told.size(); ++i)
                QVERIFY(!told.at(i).second && told.at(i).first <= told.at(i + 1).first);
            told.clear();
        };
        qputenv("CJ_SERVER_ANSWER_MS", "1500");
        proxy.setForwarding(false);
        try {
            Transaction step(*db);
            addBills(*db, 1);
            QFAIL("a step went through a stalled network");
        } catch (const StoreError& error) {
            QVERIFY2(error.text().contains(QStringLiteral("没有回答")), qPrintable(error.text()));
        }
        QCOMPARE(refusedMeanwhile, QStringList{QStringLiteral("正在等待数据库服务器应答，请稍后再试。")});
        toldOfOneWait();
        // Connecting again through the stalled network gives up within the answer time too.
        QElapsedTimer clock;
        clock.start();
        QVERIFY_THROWS_EXCEPTION(StoreError, addBills(*db, 1));
        QVERIFY(clock.elapsed() < 1500 + 3000);
        toldOfOneWait();
        proxy.setForwarding(true);
        addBills(*db, 1);
        QCOMPARE(count(*db, "SELECT count(*) FROM \"桌台\""), 1);
        qunsetenv("CJ_SERVER_ANSWER_MS");
    }

    void copyCommandNamesWhatItRefuses() {
        TestHome home;
        auto server = home.createDatabase();
        addBills(*server, 2);
        const QString file = home.path(QStringLiteral("空.dat"));
        {
            Database empty(file, DatabasePassword());
            CreateSchema(empty);
        }
        QProcess cjpos;
        cjpos.start(qEnvironmentVariable("CJ_BIN_DIR") + QStringLiteral("/cjpos"),
                    {QStringLiteral("--copy-database"), file, qEnvironmentVariable("CJPOS_DATABASE")});
        QVERIFY(cjpos.waitForFinished(60'000));
        QCOMPARE(cjpos.exitCode(), 1);
        QVERIFY(
            QString::fromLocal8Bit(cjpos.readAllStandardOutput()).contains(QStringLiteral("--overwrite")));
        QCOMPARE(count(*server, "SELECT count(*) FROM \"桌台\""), 2);
    }

    void otherCountersHearOfTableChangesWhenTheStepCommits() {
        TestHome home;
        auto counter = home.createDatabase();
        auto other = counter->connectAgain();
        other->listen(BillStore::kTablesChannel);
        {
            Transaction step(*counter);
            BillStore(*counter).writeSlot(3, QStringLiteral("20241212130000"));
            QVERIFY(other->takeNotifications().isEmpty());
            QTest::qWait(200);
            QVERIFY(other->takeNotifications().isEmpty());
            step.commit();
        }
        QVERIFY(noticeArrives(*other));
        QCOMPARE(ReadSlots(*other, 4).at(3), QStringLiteral("20241212130000"));
        // A step undone announces nothing.
        {
            Transaction step(*counter);
            BillStore(*counter).writeSlot(3, QString());
        }
        QTest::qWait(300);
        QVERIFY(other->takeNotifications().isEmpty());
    }

    void aTableOpenedByAnotherCounterProcessShowsHere() {
        TestHome home;
        auto counter = home.createDatabase();
        counter->listen(BillStore::kTablesChannel);
        QProcess other;
        other.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--write-slot"), qEnvironmentVariable("CJPOS_DATABASE"),
                     QStringLiteral("4"), QStringLiteral("20241212131500")});
        QVERIFY(other.waitForFinished(30'000));
        QCOMPARE(other.exitCode(), 0);
        QVERIFY(noticeArrives(*counter));
        QCOMPARE(ReadSlots(*counter, 5).at(4), QStringLiteral("20241212131500"));
    }

    void aTableClaimedOnOneCounterIsRefusedOnTheOtherUntilThatCounterIsGone() {
        TestHome home;
        auto first = home.createDatabase();
        // Another counter opens the database by itself (a connection made again would share the claims).
        auto second = TestHome::openAsAnotherCounter(*first);
        auto lease = std::make_unique<TableLease>(*first);
        TableLease other(*second);
        QVERIFY(lease->take(2));
        QVERIFY(!other.take(2));
        QVERIFY(other.take(3));
        lease->release();
        QVERIFY(other.take(2));
        QCOMPARE(other.table(), 2);

        // A counter killed while it holds a table: its claim runs out, a short one here.
        other.release();
        // The other counter is a process of its own, idle while it holds the table.
        QProcess holder;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CJ_CLAIM_LEASE_MS"), QStringLiteral("1000"));
        holder.setProcessEnvironment(environment);
        holder.start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--hold-table"), qEnvironmentVariable("CJPOS_DATABASE"), QStringLiteral("5")});
        QVERIFY(holder.waitForReadyRead(30'000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));
        bool refused = false;
        for (int i = 0; i < 100 && !refused; ++i) {
            refused = !lease->take(5);
            lease->release();
            QTest::qWait(50);
        }
        QVERIFY(refused);
        ::kill(static_cast<pid_t>(holder.processId()), SIGKILL);
        holder.waitForFinished();
        bool granted = false;
        for (int i = 0; i < 100 && !granted; ++i) {
            granted = lease->take(5);
            if (!granted)
                QTest::qWait(50);
        }
        QVERIFY(granted);
    }

    void aDroppedConnectionFailsTheStepAndTheNextOneReconnects() {
        TestHome home;
        auto counter = home.createDatabase();
        auto admin = counter->connectAgain();
        Statement pid(*counter, "SELECT pg_backend_pid()");
        QVERIFY(pid.next());
        const qint64 backend = pid.integer(0);
        pid.reset();
        {
            Transaction step(*counter);
            BillStore(*counter).writeSlot(1, QStringLiteral("20241212130000"));
            Statement end(*admin, "SELECT pg_terminate_backend(?::int)");
            end.bind(1, backend);
            QVERIFY(end.next());
            try {
                step.commit();
                QFAIL("a commit on a dropped connection passed as saved");
            } catch (const StoreError& error) {
                QVERIFY2(error.text().contains(QStringLiteral("连接中断")), qPrintable(error.text()));
            }
        }
        // Nothing of the cut step was kept, and the next step works on a new connection.
        QCOMPARE(ReadSlots(*admin, 2).at(1), QString());
        BillStore(*counter).writeSlot(1, QStringLiteral("20241212140000"));
        QCOMPARE(ReadSlots(*admin, 2).at(1), QStringLiteral("20241212140000"));
    }

    void hourlyBackupOfAServerIsADumpPgRestoreReads() {
        TestHome home;
        auto db = home.createDatabase();
        addBills(*db, 3);
        const QString folder = home.path(QStringLiteral("备份"));
        const BackupResult result = BackupDatabase(*db, folder, QDateTime(QDate(2024, 12, 12), QTime(18, 5)));
        QVERIFY2(result.copied, qPrintable(result.failures.join(QLatin1Char('\n'))));
        QVERIFY(result.file.endsWith(QStringLiteral("/数据库.dump")));
        QProcess list;
        list.start(QStringLiteral("pg_restore"), {QStringLiteral("--list"), result.file});
        QVERIFY(list.waitForFinished(60'000));
        QCOMPARE(list.exitCode(), 0);
        QVERIFY(QString::fromUtf8(list.readAllStandardOutput()).contains(QStringLiteral("桌台")));
    }

    void phonesAndCountersWritingAtOnceLoseNoLineAndKeepEveryTotal() {
        TestHome home;
        auto db = home.createDatabase();
        constexpr int kPhones = 10;
        constexpr int kCounters = 2;
        constexpr int kOrdersEach = 12;
        // CJ_SOAK_SECONDS=120 keeps every writer going that long (scripts/tools/server-check).
        const int soakSeconds = qEnvironmentVariableIntValue("CJ_SOAK_SECONDS");
        QElapsedTimer soak;
        soak.start();
        std::atomic<int> refused = 0;
        std::atomic<int> attempts = 0;
        const auto goOn = [&](int i) {
            const bool more = i < kOrdersEach || soak.elapsed() < soakSeconds * 1000LL;
            if (more)
                ++attempts;
            return more;
        };
        std::vector<QStringList> added(kPhones + kCounters);
        const auto keep = [&added](int writer, const BillDocument& bill) {
            for (const OrderLine& line : bill.lines())
                if (!added[writer].contains(line.lineId))
                    added[writer].append(line.lineId);
        };
        std::vector<std::thread> writers;
        for (int p = 0; p < kPhones; ++p) {
            writers.emplace_back([&, p] {
                auto connection = db->connectAgain();
                for (int i = 0; goOn(i); ++i) {
                    OrderDesk desk(*connection);
                    try {
                        desk.openTable((p + i) % 5, QDateTime::currentDateTime());
                        desk.menu.chooseCategory(QStringLiteral("菜品"));
                        const MenuRecord dish = desk.menu.records().at(i % desk.menu.records().size());
                        desk.bill.runAsOneStep([&] {
                            const int at = desk.bill.addItem(dish, QDateTime::currentDateTime());
                            desk.bill.setQuantity(at, QStringLiteral("2"));
                        });
                        keep(p, desk.bill);
                    } catch (const StoreError&) {
                        ++refused; // another writer opened a new bill on the same table first
                    }
                }
            });
        }
        // Two counters, each with its own table open in the ordering window, which phones also order on.
        for (int c = 0; c < kCounters; ++c) {
            writers.emplace_back([&, c] {
                auto connection = db->connectAgain();
                TableLease lease(*connection);
                if (!lease.take(3 + c)) {
                    ++refused;
                    return;
                }
                for (int i = 0; goOn(i); ++i) {
                    OrderDesk desk(*connection);
                    try {
                        desk.openTable(3 + c, QDateTime::currentDateTime());
                        desk.menu.chooseCategory(QStringLiteral("酒水"));
                        desk.bill.addItem(desk.menu.records().at(i % desk.menu.records().size()),
                                          QDateTime::currentDateTime());
                        desk.bill.save();
                        keep(kPhones + c, desk.bill);
                    } catch (const StoreError&) {
                        ++refused;
                    }
                }
            });
        }
        for (std::thread& writer : writers)
            writer.join();
        QVERIFY(attempts >= (kPhones + kCounters) * kOrdersEach);
        QVERIFY(refused < attempts / 2);
        const QStringList stored = rows(*db, "SELECT \"序号\" FROM \"明细\"");
        for (const QStringList& lines : added)
            for (const QString& id : lines)
                QVERIFY2(stored.contains(id), qPrintable(id));
        // Every bill's 应收 is the sum of its lines.
        QCOMPARE(rows(*db, "SELECT b.\"id\" FROM \"桌台\" AS b WHERE abs(cj_number(b.\"应收\") - "
                           "(SELECT coalesce(sum(cj_number(l.\"金额\")), 0) FROM \"明细\" AS l "
                           "WHERE l.\"id\" = b.\"id\")) > 0.001"),
                 QStringList());
    }
};

// The other counter of the tests above, as a process of its own:
//   --write-slot URI TABLE BILL   stores a table's slot as the counter does, and ends
//   --hold-table URI TABLE        claims a table, keeps it renewed, says "held", and waits (at most a
//                                 minute) to be killed
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() >= 4 && arguments.at(1) == QLatin1String("--write-slot")) {
        auto db = Database::ConnectServer(arguments.at(2));
        Transaction step(*db);
        BillStore(*db).writeSlot(arguments.at(3).toInt(), arguments.value(4));
        step.commit();
        return 0;
    }
    if (arguments.size() >= 4 && arguments.at(1) == QLatin1String("--hold-table")) {
        auto db = Database::ConnectServer(arguments.at(2));
        const ClaimKeeper keeper(*db);
        TableLease lease(*db);
        if (!lease.take(arguments.at(3).toInt()))
            return 1;
        std::puts("held");
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::minutes(1));
        return 0;
    }
    ServerDatabaseTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_server_database.moc"
