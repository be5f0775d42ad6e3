#include "common/TestHome.h"
#include "store/Backup.h"
#include "store/BackupSchedule.h"
#include "store/Database.h"
#include "store/Integrity.h"
#include "store/Log.h"
#include "store/PageSeals.h"
#include "store/ProgramDatabase.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <atomic>
#include <thread>

namespace {

const QDateTime kAt1705(QDate(2024, 12, 12), QTime(17, 5));
const QDateTime kAt1805(QDate(2024, 12, 12), QTime(18, 5));
const QDateTime kAt1855(QDate(2024, 12, 12), QTime(18, 55));

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

qint64 count(Database& db, const char* sql) {
    Statement query(db, sql);
    return query.next() ? query.integer(0) : -1;
}

// Adds order lines in transactions of `perBill` rows, as a bill save does.
void addLines(Database& db, const QString& prefix, int bills, int perBill) {
    Statement add(db,
                  "INSERT INTO \"明细\" (\"id\", \"序号\", \"名称\", \"数量\", \"单价\", \"金额\", \"备注\") "
                  "VALUES (?, ?, '宫保鸡丁', '1', '28', '28', ?)");
    for (int b = 0; b < bills; ++b) {
        Transaction transaction(db);
        for (int i = 0; i < perBill; ++i) {
            add.bind(1, prefix + QString::number(b))
                .bind(2, QStringLiteral("%1%2-%3").arg(prefix).arg(b).arg(i));
            add.bind(3, QString(60, QChar(u'备')));
            add.run();
            add.reset();
        }
        transaction.commit();
    }
}

QByteArray digest(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

// Overwrites a few pages in the middle of a file, where a big database keeps its bill lines: the start and
// the schema still read.
void damageTheMiddle(const QString& path, char fill = '\x5a') {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(file.size() / 2 / 4096 * 4096));
    QVERIFY(file.write(QByteArray(3 * 4096, fill)) == 3 * 4096);
}

} // namespace

class BackupTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        home_ = std::make_unique<TestHome>();
        db_ = home_->createDatabase();
        folder_ = home_->dataHome() + QLatin1Char('/') + kBackupFolderName;
    }
    void cleanup() {
        db_.reset();
        home_.reset();
    }

    void firstBackupCreatesTheFolderAndOneSet() {
        QVERIFY(!QFileInfo::exists(folder_));
        QCOMPARE(BackupSetName(kAt1805), QStringLiteral("2024-12-12 18\uFF1A00"));
        const BackupResult result = BackupDatabase(*db_, folder_, kAt1805);
        QVERIFY(result.copied);
        QVERIFY(result.failures.isEmpty());
        QCOMPARE(entries(folder_), QStringList{BackupSetName(kAt1805)});
        QCOMPARE(entries(result.setFolder), QStringList{kDatabaseFileName});
        QCOMPARE(result.file,
                 folder_ + QLatin1Char('/') + BackupSetName(kAt1805) + QStringLiteral("/数据库.dat"));
        Database copy(result.file, DatabasePassword());
        QCOMPARE(count(copy, "SELECT count(*) FROM \"餐桌设置\""), 13);
        // Copies of the restaurant's data are its owner's alone.
        const QFileDevice::Permissions others =
            QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::ExeGroup | QFileDevice::ExeOther;
        for (const QString& path : {folder_, result.setFolder, result.file})
            QCOMPARE(QFileInfo(path).permissions() & others, QFileDevice::Permissions());
    }

    void rotationKeepsTheTwentyNewest_data() {
        QTest::addColumn<int>("earlier");
        QTest::addColumn<int>("removed");
        QTest::newRow("19 earlier") << 19 << 0;
        QTest::newRow("20 earlier") << 20 << 1;
        QTest::newRow("25 earlier") << 25 << 6;
    }
    void rotationKeepsTheTwentyNewest() {
        QFETCH(int, earlier);
        QFETCH(int, removed);
        QStringList sets;
        for (int i = 0; i < earlier; ++i) {
            const QString name = BackupSetName(QDateTime(QDate(2024, 12, 1 + i / 24), QTime(i % 24, 30)));
            QVERIFY(QDir().mkpath(folder_ + QLatin1Char('/') + name));
            QFile file(folder_ + QLatin1Char('/') + name + QStringLiteral("/数据库.dat"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            sets.append(name);
        }
        QVERIFY(QDir().mkpath(folder_ + QStringLiteral("/旧资料"))); // not a set: neither counted nor deleted
        const BackupResult result = BackupDatabase(*db_, folder_, kAt1805);
        QCOMPARE(result.removedSets, sets.mid(0, removed));
        QStringList expected = sets.mid(removed) << BackupSetName(kAt1805) << QStringLiteral("旧资料");
        QCOMPARE(entries(folder_), expected);
    }

    void rotationKeepsTheLastSetOfEachOfThirtyEarlierDays() {
        // Two sets a day for 40 days before the backup's day: the 20 newest stay, then each earlier day's
        // last set for 30 days.
        QStringList sets;
        for (int day = 40; day >= 1; --day)
            for (const int hour : {11, 22}) {
                const QString name = BackupSetName(QDateTime(kAt1805.date().addDays(-day), QTime(hour, 0)));
                QVERIFY(QDir().mkpath(folder_ + QLatin1Char('/') + name));
                sets.append(name);
            }
        QVERIFY(BackupDatabase(*db_, folder_, kAt1805).copied);
        const QStringList kept = entries(folder_);
        QCOMPARE(kept.size(), 20 + 30);
        QCOMPARE(kept.last(), BackupSetName(kAt1805));
        QCOMPARE(kept.mid(30), sets.mid(sets.size() - 19) << BackupSetName(kAt1805));
        for (const QString& daily : kept.mid(0, 30))
            QVERIFY2(daily.endsWith(QStringLiteral("22\uFF1A00")), qPrintable(daily));
        QCOMPARE(kept.first(), BackupSetName(QDateTime(kAt1805.date().addDays(-40), QTime(22, 0))));
    }

    void sameHourKeepsOneSetWithTheLaterData() {
        // Changes stay in the write-ahead log, which a copy of the bare file would miss.
        db_->exec("PRAGMA wal_autocheckpoint = 0;");
        addLines(*db_, QStringLiteral("A"), 1, 10);
        QVERIFY(BackupDatabase(*db_, folder_, kAt1805).copied);
        addLines(*db_, QStringLiteral("B"), 2, 10);
        QVERIFY(QFileInfo(db_->path() + QStringLiteral("-wal")).size() > 0);
        const BackupResult result = BackupDatabase(*db_, folder_, kAt1855);
        QVERIFY(result.copied);
        QCOMPARE(entries(folder_), QStringList{BackupSetName(kAt1805)});
        QCOMPARE(entries(result.setFolder), QStringList{kDatabaseFileName});
        Database copy(result.file, DatabasePassword());
        QCOMPARE(count(copy, "SELECT count(*) FROM \"明细\""), 30);
    }

    void copyIsConsistentWhileAnotherConnectionWrites() {
        addLines(*db_, QStringLiteral("A"), 100, 100); // a few megabytes, so the copy takes many steps
        std::atomic<bool> stop = false;
        std::atomic<int> commits = 0;
        std::thread writer([&] {
            Database other(db_->path(), DatabasePassword());
            for (int round = 0; round < 100000 && !stop; ++round) {
                addLines(other, QStringLiteral("W%1-").arg(round), 1, 20);
                ++commits;
            }
        });
        while (commits < 3)
            QThread::msleep(5);
        int commitsDuringCopy = 0;
        int steps = 0;
        const int commitsBefore = commits;
        const BackupResult result =
            BackupDatabase(*db_, folder_, kAt1805, [&](const BackupProgress& progress) {
                ++steps;
                QVERIFY(progress.bytesDone <= progress.bytesTotal);
                QThread::msleep(5); // leave the writer room between steps
                commitsDuringCopy = commits - commitsBefore;
            });
        stop = true;
        writer.join();
        QVERIFY(result.copied);
        QVERIFY(steps > 1);
        QVERIFY(commitsDuringCopy > 0);

        Database copy(result.file, DatabasePassword());
        Statement check(copy, "PRAGMA integrity_check");
        QVERIFY(check.next());
        QCOMPARE(check.text(0), QStringLiteral("ok"));
        // Every bill the writer saved is in the copy whole or not at all.
        QCOMPARE(count(copy, "SELECT count(*) FROM \"明细\" WHERE \"id\" LIKE 'A%'"), 10000);
        const qint64 written = count(copy, "SELECT count(*) FROM \"明细\" WHERE \"id\" LIKE 'W%'");
        QVERIFY(written >= 3 * 20);
        QCOMPARE(written % 20, 0);
    }

    void failureIsLoggedAndDoesNotThrow() {
        const QString log = home_->path(QStringLiteral("cjpos.log"));
        Log::setFile(log);
        QFile blocker(folder_); // a plain file where the backup folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const BackupResult result = BackupDatabase(*db_, folder_, kAt1805);
        Log::setFile(QString());
        QVERIFY(!result.copied);
        QCOMPARE(result.failures.size(), 1);
        QFile written(log);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(written.readAll()).contains(result.failures.first()));
    }

    void aDamagedDatabaseIsFoundAndReplacesNoGoodBackup_data() {
        QTest::addColumn<char>("fill");
        QTest::addColumn<bool>("sealsFail");
        QTest::newRow("pages overwritten") << '\x5a' << true;
        // Zeroed pages carry no seal to fail; the engine's look through the tables finds them.
        QTest::newRow("pages zeroed") << '\0' << false;
    }
    void aDamagedDatabaseIsFoundAndReplacesNoGoodBackup() {
        QFETCH(char, fill);
        QFETCH(bool, sealsFail);
        addLines(*db_, QStringLiteral("A"), 40, 100);
        QVERIFY(BackupDatabase(*db_, folder_, kAt1705).copied);
        const BackupResult good = BackupDatabase(*db_, folder_, kAt1805);
        QVERIFY(good.copied);
        QVERIFY(CheckDatabaseFile(good.file).sound());
        const QByteArray goodBytes = digest(good.file);
        db_->exec("PRAGMA wal_checkpoint(TRUNCATE);");
        const QString damagedPath = home_->path(QStringLiteral("damaged.dat"));
        QVERIFY(QFile::copy(db_->path(), damagedPath));
        damageTheMiddle(damagedPath, fill);

        const IntegrityReport found = CheckDatabaseFile(damagedPath);
        QVERIFY2(found.damaged(), qPrintable(found.detail));
        // The backups' fast check reads SQLCipher's page seals (and does not fall back to quick_check).
        QCOMPARE(CheckPageSeals(good.file, DatabasePassword()).state, SealCheck::State::Sound);
        QCOMPARE(CheckPageSeals(damagedPath, DatabasePassword()).state,
                 sealsFail ? SealCheck::State::Damaged : SealCheck::State::Unknown);
        // The damaged file opens (its start is whole) and its backup of the same hour is refused.
        Database damaged(damagedPath, DatabasePassword());
        const QByteArray damagedBytes = digest(damagedPath);
        const BackupResult refused = BackupDatabase(damaged, folder_, kAt1855);
        QVERIFY(!refused.copied);
        QVERIFY(refused.sourceDamaged);
        QVERIFY(refused.failures.join(QString()).contains(QStringLiteral("损坏")));
        QCOMPARE(digest(good.file), goodBytes);
        QCOMPARE(digest(damagedPath), damagedBytes);
        QCOMPARE(entries(good.setFolder), QStringList{kDatabaseFileName});
        QVERIFY2(refused.damageNotice.contains(good.file), qPrintable(refused.damageNotice));

        // A set that is itself damaged is passed over for the one before it.
        damageTheMiddle(good.file);
        const QString earlier =
            folder_ + QLatin1Char('/') + BackupSetName(kAt1705) + QStringLiteral("/数据库.dat");
        QCOMPARE(LastSoundBackup(folder_), earlier);
        QVERIFY(DamageNotice(damagedPath, found, folder_).contains(earlier));
    }

    void hourlyBackupsAreWrittenOnAWorkerWhileTheProgramRuns() {
        BackupSchedule schedule(*db_, folder_);
        QList<BackupResult> written;
        connect(&schedule, &BackupSchedule::written, this,
                [&written](const BackupResult& result) { written.append(result); });
        schedule.start(std::chrono::milliseconds(30)); // an hour, scaled down
        // The live connection goes on writing while the worker copies.
        for (int round = 0; round < 500 && written.size() < 2; ++round) {
            addLines(*db_, QStringLiteral("H%1-").arg(round), 1, 5);
            QTest::qWait(10);
        }
        QVERIFY(written.size() >= 2);
        QVERIFY2(written.first().copied, qPrintable(written.first().failures.join(QLatin1Char('\n'))));

        const BackupResult last = schedule.writeLast({});
        QVERIFY(last.copied);
        const qint64 stored = count(*db_, "SELECT count(*) FROM \"明细\"");
        Database copy(last.file, DatabasePassword());
        QCOMPARE(count(copy, "SELECT count(*) FROM \"明细\""), stored);
        // Nothing more is reported once the last backup was written.
        const auto reported = written.size();
        QTest::qWait(100);
        QCOMPARE(written.size(), reported);
    }

private:
    std::unique_ptr<TestHome> home_;
    std::unique_ptr<Database> db_;
    QString folder_;
};

QTEST_GUILESS_MAIN(BackupTest)
#include "test_backup.moc"
