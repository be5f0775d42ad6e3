#include "common/TestHome.h"
#include "crash_journal.h"

#include "store/Database.h"
#include "store/ProgramDatabase.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <csignal>

namespace {

QString driver() {
    return qEnvironmentVariable("CJ_CRASH_DRIVER");
}

qint64 journalSize(const QString& path) {
    return QFileInfo(path).size();
}

// Starts the driver and waits until it has journaled at least `records` bytes' worth of work.
bool startDriver(QProcess& process, const QString& db, const QString& journal, int seed, const QString& mode,
                 qint64 minimumBytes) {
    process.start(driver(), {db, journal, QString::number(seed), mode});
    if (!process.waitForStarted(5000))
        return false;
    for (int i = 0; i < 500 && journalSize(journal) < minimumBytes; ++i)
        QThread::msleep(10);
    return journalSize(journal) >= minimumBytes;
}

} // namespace

class CrashSafetyTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedAtRandomMomentsLosesNothing() {
        TestHome home;
        const QString db = home.path(QStringLiteral("crash.dat"));
        home.createDatabase(QStringLiteral("crash.dat")).reset();
        auto* random = QRandomGenerator::global();
        int records = 0;
        constexpr int kKills = 50;
        for (int kill = 0; kill < kKills; ++kill) {
            // One journal per run: each run's promises are checked after the kill that ends it.
            const QString journal = home.path(QStringLiteral("journal%1.txt").arg(kill));
            QProcess process;
            QVERIFY(startDriver(process, db, journal, kill, QStringLiteral("normal"), 200));
            QThread::msleep(random->bounded(0, 120));
            ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
            QVERIFY(process.waitForFinished(5000));

            Database reopened(db, DatabasePassword());
            const CrashCheck check = CheckAfterCrash(reopened, journal);
            if (!check.problems.isEmpty())
                QFAIL(qPrintable(QStringLiteral("after kill %1: ").arg(kill) +
                                 check.problems.join(QStringLiteral("; "))));
            records += check.recordsChecked;
        }
        qInfo("%d kills survived, %d journaled writes checked", kKills, records);
    }

    void aCopyAtAnyMomentHoldsEveryReturnedWrite() {
        TestHome home;
        const QString db = home.path(QStringLiteral("power.dat"));
        const QString journal = home.path(QStringLiteral("journal.txt"));
        home.createDatabase(QStringLiteral("power.dat")).reset();
        QProcess process;
        QVERIFY(startDriver(process, db, journal, 7, QStringLiteral("nocheckpoint"), 200));
        int checked = 0;
        for (int copy = 0; copy < 20; ++copy) {
            QThread::msleep(QRandomGenerator::global()->bounded(20, 80));
            // Hold the writer still (at most one call is in flight), then copy what it has written so far.
            ::kill(static_cast<pid_t>(process.processId()), SIGSTOP);
            const QString promised = home.path(QStringLiteral("copy%1.txt").arg(copy));
            const QString image = home.path(QStringLiteral("copy%1.dat").arg(copy));
            QVERIFY(QFile::copy(journal, promised));
            QVERIFY(QFile::copy(db, image));
            QVERIFY(QFile::copy(db + QStringLiteral("-wal"), image + QStringLiteral("-wal")));
            ::kill(static_cast<pid_t>(process.processId()), SIGCONT);
            Database opened(image, DatabasePassword());
            const CrashCheck check = CheckAfterCrash(opened, promised);
            if (!check.problems.isEmpty())
                QFAIL(qPrintable(QStringLiteral("copy %1: ").arg(copy) +
                                 check.problems.join(QStringLiteral("; "))));
            checked = check.recordsChecked;
        }
        process.kill();
        process.waitForFinished(5000);
        qInfo("20 copies taken while writing, %d journaled writes checked in the last", checked);
    }
};

QTEST_GUILESS_MAIN(CrashSafetyTest)
#include "test_crash_safety.moc"
