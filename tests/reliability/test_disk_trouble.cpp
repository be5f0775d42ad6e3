// Real file-system trouble under the data folder: a small tmpfs that fills up, and one remounted read-only.
// Mounting needs root (as on the build machine); elsewhere these cases are skipped.
#include "common/TestHome.h"

#include "bill/BillStore.h"
#include "desk/OrderDesk.h"
#include "desk/TableMap.h"
#include "settings/SettingsStore.h"
#include "store/Backup.h"
#include "store/Database.h"
#include "store/Log.h"
#include "store/ProgramDatabase.h"
#include "store/Settings.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const QDateTime kNow(QDate(2024, 12, 12), QTime(19, 30, 0));

// A tmpfs of the given size mounted on a temporary folder for the life of the object.
class ScratchDisk {
public:
    explicit ScratchDisk(int kilobytes)
        : options_(QByteArray("size=") + QByteArray::number(kilobytes) + "k") {
        mounted_ = ::geteuid() == 0 && ::mount("tmpfs", path().toLocal8Bit().constData(), "tmpfs",
                                               MS_NOSUID | MS_NODEV, options_.constData()) == 0;
    }
    ~ScratchDisk() {
        if (mounted_)
            ::umount2(path().toLocal8Bit().constData(), MNT_DETACH);
    }
    ScratchDisk(const ScratchDisk&) = delete;
    ScratchDisk& operator=(const ScratchDisk&) = delete;

    bool mounted() const { return mounted_; }
    QString path() const { return dir_.path(); }
    QString dataFolder() const { return path() + QStringLiteral("/data"); }

    bool setReadOnly(bool readOnly) {
        const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
        return ::mount("tmpfs", path().toLocal8Bit().constData(), "tmpfs", flags, options_.constData()) == 0;
    }

    // Writes a filler file until the file system refuses; bounded by the disk's size.
    void fill() {
        QFile filler(path() + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::Append));
        const QByteArray block(4096, 'x');
        for (int i = 0; i < 1 << 16; ++i)
            if (filler.write(block) != block.size() || !filler.flush())
                return;
        QFAIL("the disk never filled");
    }
    void freeSpace() { QFile::remove(path() + QStringLiteral("/filler")); }

private:
    QTemporaryDir dir_;
    QByteArray options_;
    bool mounted_ = false;
};

// Everything in a folder, to show a refused start changed nothing.
QByteArray folderFingerprint(const QString& folder) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        hash.addData(name.toUtf8());
        hash.addData(file.readAll());
    }
    return hash.result();
}

QStringList storedLineIds(Database& db, const QString& billId) {
    QStringList ids;
    for (const OrderLine& line : BillStore(db).lines(billId))
        ids.append(line.lineId);
    return ids;
}

QStringList shownLineIds(const BillDocument& bill) {
    QStringList ids;
    for (const OrderLine& line : bill.lines())
        ids.append(line.lineId);
    return ids;
}

void addDish(OrderDesk& desk, const QString& category = QStringLiteral("菜品")) {
    desk.menu.chooseCategory(category);
    desk.bill.addItem(desk.menu.records().at(0), kNow);
}

QString integrity(Database& db) {
    Statement check(db, "PRAGMA integrity_check");
    return check.next() ? check.text(0) : QString();
}

#define REQUIRE_MOUNT(disk)                                                                                  \
    if (!(disk).mounted())                                                                                   \
    QSKIP("mounting a tmpfs needs root")

} // namespace

class DiskTroubleTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aFullDiskRefusesWritesWithAClearMessageAndKeepsEveryStoredLine() {
        ScratchDisk disk(2048);
        REQUIRE_MOUNT(disk);
        QVERIFY(CreateFolderPath(disk.dataFolder()));
        Log::setFile(disk.dataFolder() + QStringLiteral("/cjpos.log"));
        auto db = OpenProgramDatabase(disk.dataFolder());
        OrderDesk desk(*db);
        desk.openTable(0, kNow);
        for (int i = 0; i < 3; ++i)
            addDish(desk);
        disk.fill();

        QString refusal;
        for (int i = 0; i < 5000 && refusal.isEmpty(); ++i) {
            try {
                addDish(desk, i % 2 ? QStringLiteral("酒水") : QStringLiteral("菜品"));
            } catch (const StoreError& error) {
                refusal = error.text();
            }
        }
        QVERIFY2(refusal.contains(QStringLiteral("磁盘空间已满")), qPrintable(refusal));
        Log::write(QStringLiteral("a line the full disk may not take"));

        // The window shows exactly what is stored, and another connection (the server's) reads the same.
        const QStringList shown = shownLineIds(desk.bill);
        QVERIFY(shown.size() >= 3);
        QCOMPARE(storedLineIds(*db, desk.bill.billId()), shown);
        {
            Database other(disk.dataFolder() + QStringLiteral("/数据库.dat"), DatabasePassword());
            QCOMPARE(storedLineIds(other, desk.bill.billId()), shown);
            QCOMPARE(integrity(other), QStringLiteral("ok"));
        }

        // Once there is room again the same window goes on where it stopped.
        disk.freeSpace();
        addDish(desk);
        QCOMPARE(storedLineIds(*db, desk.bill.billId()).size(), shown.size() + 1);
        QCOMPARE(desk.bill.save(), BillDocument::SaveResult::Saved);
        Log::setFile(QString());
    }

    void aFirstStartOnAFullDiskLeavesNoHalfDatabase() {
        ScratchDisk disk(1024);
        REQUIRE_MOUNT(disk);
        QVERIFY(CreateFolderPath(disk.dataFolder()));
        disk.fill();
        try {
            OpenProgramDatabase(disk.dataFolder());
            QFAIL("a database was created on a full disk");
        } catch (const StoreError& error) {
            QVERIFY2(error.text().contains(QStringLiteral("磁盘空间已满")), qPrintable(error.text()));
        }
        QCOMPARE(QDir(disk.dataFolder()).entryList(QDir::Files), QStringList());

        disk.freeSpace();
        auto db = OpenProgramDatabase(disk.dataFolder());
        SettingsStore settings(*db);
        QCOMPARE(settings.tableList().size(), 13);
    }

    void aReadOnlyDataFolderIsRefusedAndLeftUntouched() {
        ScratchDisk disk(4096);
        REQUIRE_MOUNT(disk);
        QVERIFY(CreateFolderPath(disk.dataFolder()));
        QString billId;
        {
            auto db = OpenProgramDatabase(disk.dataFolder());
            OrderDesk desk(*db);
            desk.openTable(2, kNow);
            addDish(desk);
            addDish(desk, QStringLiteral("酒水"));
            desk.bill.save();
            billId = desk.bill.billId();
        }
        const QByteArray before = folderFingerprint(disk.dataFolder());
        QVERIFY(!before.isEmpty());
        QVERIFY(disk.setReadOnly(true));

        // The counter's start and the server's own opening both refuse, naming the cause.
        try {
            OpenProgramDatabase(disk.dataFolder());
            QFAIL("a read-only data folder was opened");
        } catch (const StoreError& error) {
            QVERIFY2(error.text().contains(QStringLiteral("只读")), qPrintable(error.text()));
        }
        try {
            Database direct(disk.dataFolder() + QStringLiteral("/数据库.dat"), DatabasePassword());
            QFAIL("a read-only database file was opened for writing");
        } catch (const StoreError& error) {
            QVERIFY2(error.text().contains(QStringLiteral("只读")), qPrintable(error.text()));
        }
        QCOMPARE(folderFingerprint(disk.dataFolder()), before);

        QVERIFY(disk.setReadOnly(false));
        auto db = OpenProgramDatabase(disk.dataFolder());
        QCOMPARE(storedLineIds(*db, billId).size(), 2);
        QCOMPARE(ReadSlots(*db, 3).at(2), billId);
    }

    void aBackupOnAFullDiskFailsAndLeavesTheEarlierCopyWhole() {
        ScratchDisk disk(2048);
        REQUIRE_MOUNT(disk);
        TestHome home; // the database lies elsewhere: only the backup runs out of room
        auto db = home.createDatabase();
        const QString backups = disk.path() + QStringLiteral("/备份");
        QVERIFY(BackupDatabase(*db, backups, kNow).copied);
        const QString set = backups + QLatin1Char('/') + BackupSetName(kNow);
        const QByteArray before = folderFingerprint(set);
        disk.fill();
        const BackupResult second = BackupDatabase(*db, backups, kNow.addSecs(600));
        QVERIFY(!second.copied);
        QVERIFY2(second.failures.join(QString()).contains(QStringLiteral("磁盘空间已满")),
                 qPrintable(second.failures.join(QString())));
        QCOMPARE(folderFingerprint(set), before); // the same hour's copy whole, no part of the new one
    }
};

QTEST_GUILESS_MAIN(DiskTroubleTest)
#include "test_disk_trouble.moc"
