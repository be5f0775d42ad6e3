// Claims between holders (counters, Lanserves), on the file and on a server: refused to others while live,
// shared by a holder's own connections, run out once the holder stops renewing, kept through dropped
// connections.
#include "common/TestHome.h"

#include "app/DatabaseCopy.h"
#include "bill/TableLease.h"
#include "store/Claims.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"
#include "store/Schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <sqlite3.h>
#include <thread>

namespace {

// Short enough for a quick suite, long enough for a renewal to come late on a busy machine.
constexpr int kLeaseMs = 1000;

const QString kSpooler = QString::fromUtf8(Claims::kSpoolerObject);

qint64 number(Database& db, const QByteArray& sql) {
    Statement query(db, sql.constData());
    return query.next() ? query.integer(0) : -1;
}

bool stopped(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) == "T";
}

// Stops the process between two of its writes: on a file, one stopped in the middle of a write would keep
// every other writer out (a server finishes a statement without its client).
bool stopBetweenWrites(pid_t pid, const Database& db) {
    const auto probe = db.connectAgain();
    if (!probe->isServer())
        sqlite3_busy_timeout(probe->handle(), 0);
    for (int attempt = 0; attempt < 50; ++attempt) {
        ::kill(pid, SIGSTOP);
        for (int i = 0; i < 100 && !stopped(pid); ++i)
            QTest::qWait(5);
        try {
            const Transaction write(*probe);
            return true;
        } catch (const StoreError&) {
            ::kill(pid, SIGCONT);
            QTest::qWait(10);
        }
    }
    return false;
}

// The client connections to the database other than the asking one: counted, or ended.
const QByteArray kOtherClients = "FROM pg_stat_activity WHERE datname = current_database() "
                                 "AND backend_type = 'client backend' AND pid <> pg_backend_pid()";

} // namespace

class ClaimsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { qputenv("CJ_CLAIM_LEASE_MS", QByteArray::number(kLeaseMs)); }

    void aClaimIsRefusedToOtherHoldersUntilReleasedAndSharedByTheHoldersOwnConnections() {
        TestHome home;
        auto counter = home.createDatabase();
        auto other = TestHome::openAsAnotherCounter(*counter);
        auto counterThread = counter->connectAgain();
        Claims mine(*counter);
        Claims theirs(*other);
        const QString table = Claims::TableObject(3);

        QVERIFY(mine.take(table));
        QVERIFY(!theirs.take(table));
        QCOMPARE(theirs.heldElsewhere(table).value_or(QString()), Database::ClaimHolderDescription());
        QVERIFY(!mine.heldElsewhere(table));
        // A thread's connection (the spooler's, say) is the same holder.
        QVERIFY(!Claims(*counterThread).heldElsewhere(table));
        QVERIFY(Claims(*counterThread).take(table));
        QVERIFY(Claims(*counterThread).take(kSpooler));
        QVERIFY(!theirs.take(kSpooler));

        mine.release(table);
        QVERIFY(!theirs.heldElsewhere(table));
        QVERIFY(theirs.take(table));
        QVERIFY(!mine.take(table));
        QVERIFY(!mine.stillHeld(table));
        QVERIFY(theirs.stillHeld(table));
    }

    void aLeaseHoldsOneTableOrBillAtATime() {
        TestHome home;
        auto counter = home.createDatabase();
        auto other = TestHome::openAsAnotherCounter(*counter);
        Claims theirs(*other);
        const QString bill = QStringLiteral("20241212130725");
        TableLease lease(*counter);

        QVERIFY(lease.take(4));
        QVERIFY(!theirs.take(Claims::TableObject(4)));
        QVERIFY(lease.takeBill(bill));
        QCOMPARE(lease.table(), -1);
        QCOMPARE(lease.bill(), bill);
        QVERIFY(theirs.take(Claims::TableObject(4)));
        QVERIFY(!theirs.take(Claims::BillObject(bill)));
        // Refused the table, the lease has let the bill go too.
        QVERIFY(!lease.take(4));
        QCOMPARE(lease.bill(), QString());
        QVERIFY(theirs.take(Claims::BillObject(bill)));
    }

    void aKeepersClaimsOutliveSeveralLeasesAndEndWithIt() {
        TestHome home;
        auto counter = home.createDatabase();
        auto other = TestHome::openAsAnotherCounter(*counter);
        auto keeper = std::make_unique<ClaimKeeper>(*counter);
        TableLease lease(*counter);
        QVERIFY(lease.take(1));
        const auto spooler = counter->connectAgain();
        QVERIFY(Claims(*spooler).take(kSpooler));

        QTest::qWait(3 * kLeaseMs);
        QVERIFY(!Claims(*other).take(Claims::TableObject(1)));
        QVERIFY(!Claims(*other).take(kSpooler));
        keeper.reset();
        QVERIFY(Claims(*other).take(Claims::TableObject(1)));
        QVERIFY(Claims(*other).take(kSpooler));
    }

    void aHolderThatStopsRenewingLosesItsClaimAfterTheLeaseNotBefore() {
        TestHome home;
        auto counter = home.createDatabase();
        const QString table = Claims::TableObject(5);
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--hold"),
                      counter->isServer() ? counter->serverAddress() : counter->path(), table});
        QVERIFY(holder.waitForReadyRead(30'000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));
        Claims claims(*counter);
        QVERIFY(!claims.take(table));

        QVERIFY(stopBetweenWrites(static_cast<pid_t>(holder.processId()), *counter));
        QElapsedTimer sinceStopped;
        sinceStopped.start();
        QVERIFY(!claims.take(table));
        while (!claims.take(table) && sinceStopped.elapsed() < 10 * kLeaseMs)
            QTest::qWait(20);
        const qint64 grantedAfter = sinceStopped.elapsed();
        ::kill(static_cast<pid_t>(holder.processId()), SIGKILL);
        holder.waitForFinished();
        // Its last renewal came at most a quarter of a lease before it stopped.
        QVERIFY2(grantedAfter >= kLeaseMs / 2 && grantedAfter < 10 * kLeaseMs,
                 qPrintable(QString::number(grantedAfter)));
    }

    void claimsOutliveTheHoldersDroppedConnections() {
        if (!TestsOnServer())
            QSKIP("only a server drops connections");
        TestHome home;
        auto counter = home.createDatabase();
        auto other = TestHome::openAsAnotherCounter(*counter);
        ClaimKeeper keeper(*counter);
        const QString table = Claims::TableObject(2);
        QVERIFY(Claims(*counter).take(table));

        // The counter's connection and its keeper's, as a server restart would end them.
        QCOMPARE(number(*other, "SELECT count(pg_terminate_backend(pid)) " + kOtherClients), 2);
        for (int i = 0; i < 100 && number(*other, "SELECT count(*) " + kOtherClients) > 0; ++i)
            QTest::qWait(50);
        QCOMPARE(number(*other, "SELECT count(*) " + kOtherClients), 0);

        QVERIFY(!Claims(*other).take(table));
        QVERIFY(Claims(*counter).stillHeld(table));
        // Past a lease: the keeper went on renewing over a new connection.
        QTest::qWait(2 * kLeaseMs);
        QVERIFY(!Claims(*other).take(table));
        QVERIFY(Claims(*counter).stillHeld(table));
    }

    void olderDatabasesGetTheClaimTableAndCopiesLeaveClaimsBehind() {
        TestHome home;
        auto db = home.createDatabase();
        db->exec("DROP TABLE \"占用\"");
        db->setUserVersion(3);
        MigrateSchema(*db);
        QCOMPARE(db->userVersion(), kSchemaVersion);
        QVERIFY(Claims(*db).take(Claims::TableObject(1)));

        Database copy(home.path(QStringLiteral("副本.dat")), DatabasePassword());
        QCOMPARE(CopyDatabase(*db, copy, {}).bills, 0);
        QCOMPARE(number(copy, "SELECT count(*) FROM \"占用\""), 0);
        QCOMPARE(number(*db, "SELECT count(*) FROM \"占用\""), 1);
    }
};

namespace {

// The other counter of the test above, as a process of its own: claims the object, keeps it renewed, says
// "held", and waits (at most a minute) to be stopped and killed.
int holdUntilKilled(const QString& database, const QString& object) {
    auto db = database.startsWith(QLatin1String("postgresql://"))
                  ? Database::ConnectServer(database)
                  : std::make_unique<Database>(database, DatabasePassword());
    if (!Claims(*db).take(object))
        return 1;
    const ClaimKeeper keeper(*db);
    std::puts("held");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::minutes(1));
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 4 && arguments.at(1) == QLatin1String("--hold"))
        return holdUntilKilled(arguments.at(2), arguments.at(3));
    ClaimsTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_claims.moc"
