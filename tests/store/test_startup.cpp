#include "common/StaffPasswords.h"
#include "common/TestHome.h"

#include "mobile/ServicePages.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"
#include "store/Settings.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTest>

namespace {
void touch(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QByteArray digest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}
} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void dataFolderChoice() {
        TestHome home;
        const QString inHome = home.home() + QLatin1Char('/') + kDataFolderName;
        const QString inXdgData = home.dataHome() + QLatin1Char('/') + kDataFolderName;
        const QString backup = home.dataHome() + QLatin1Char('/') + kBackupFolderName;

        // An empty home folder is not used.
        QCOMPARE(ChooseDataFolders(home.home(), home.dataHome()).dataFolder, inXdgData);
        // Only hidden entries: still unusable.
        touch(home.home() + QStringLiteral("/.bashrc"));
        QCOMPARE(ChooseDataFolders(home.home(), home.dataHome()).dataFolder, inXdgData);
        // One visible file makes it usable; the backups stay in the XDG data folder.
        touch(home.home() + QStringLiteral("/notes.txt"));
        const DataFolders withFile = ChooseDataFolders(home.home(), home.dataHome());
        QCOMPARE(withFile.dataFolder, inHome);
        QCOMPARE(withFile.backupFolder, backup);
        // Unset XDG_DATA_HOME means ~/.local/share.
        QCOMPARE(ChooseDataFolders(home.home(), QString()).backupFolder,
                 home.home() + QStringLiteral("/.local/share/") + kBackupFolderName);
    }

    void existingDatabaseWinsOverTheRule() {
        TestHome home;
        const QString inXdgData = home.dataHome() + QLatin1Char('/') + kDataFolderName;
        QVERIFY(CreateFolderPath(inXdgData));
        touch(inXdgData + QLatin1Char('/') + kDatabaseFileName);
        touch(home.home() + QStringLiteral("/notes.txt")); // the rule now says the home folder
        QCOMPARE(ChooseDataFolders(home.home(), home.dataHome()).dataFolder, inXdgData);
    }

    void createFolderPathMakesEveryLevel() {
        TestHome home;
        const QString deep = home.path(QStringLiteral("a//b/c"));
        QVERIFY(CreateFolderPath(deep));
        QVERIFY(QDir(home.path(QStringLiteral("a/b/c"))).exists());
        QVERIFY(CreateFolderPath(deep)); // existing levels are skipped
    }

    void firstStartCreatesTheDatabaseAndASecondChangesNothing() {
        TestHome home;
        const DataFolders folders = ChooseDataFoldersFromEnvironment();
        QVERIFY(CreateFolderPath(folders.dataFolder));
        const QString file = folders.dataFolder + QLatin1Char('/') + kDatabaseFileName;
        QByteArray first;
        {
            auto db = OpenProgramDatabase(folders.dataFolder);
            QVERIFY(FirstStaffPasswordIs(*db, QStringLiteral("739")));
            WriteSlot(*db, 2, QStringLiteral("20240101010101"));
            db->exec("PRAGMA wal_checkpoint(TRUNCATE);");
        }
        first = digest(file);
        {
            auto db = OpenProgramDatabase(folders.dataFolder);
            QCOMPARE(ReadSlots(*db, 3).at(2), QStringLiteral("20240101010101"));
        }
        QCOMPARE(digest(file), first);
    }

    void unreadableDatabaseIsRefusedAndLeftUntouched() {
        TestHome home;
        const QString folder = home.path(QStringLiteral("data"));
        const QString file = folder + QLatin1Char('/') + kDatabaseFileName;
        {
            QFile foreign(file);
            QVERIFY(foreign.open(QIODevice::WriteOnly));
            foreign.write(QByteArray(8192, 'x'));
        }
        const QByteArray before = digest(file);
        try {
            OpenProgramDatabase(folder);
            QFAIL("a foreign file must not open");
        } catch (const StoreError& error) {
            QVERIFY(error.text().contains(file));
        }
        QCOMPARE(digest(file), before);
        // A database with another key is refused the same way.
        const QString other = home.path(QStringLiteral("other"));
        QVERIFY(CreateFolderPath(other));
        {
            Database db(other + QLatin1Char('/') + kDatabaseFileName, QStringLiteral("another"));
            db.exec("CREATE TABLE t (x);");
        }
        QVERIFY_THROWS_EXCEPTION(StoreError, OpenProgramDatabase(other));
    }

    void servicePagesAreRestoredOneByOne() {
        TestHome home;
        const QString folder = home.path(QStringLiteral("d"));
        QCOMPARE(WriteServicePages(folder).size(), 7);
        for (const QString& name : ServicePageNames())
            QVERIFY(QFile::exists(folder + QStringLiteral("/phone/") + name));
        // A page edited by the user stays as it is; only the deleted one comes back.
        {
            QFile edited(folder + QStringLiteral("/phone/menu.asp"));
            QVERIFY(edited.open(QIODevice::WriteOnly));
            edited.write("mine");
        }
        QVERIFY(QFile::remove(folder + QStringLiteral("/phone/list.asp")));
        QCOMPARE(WriteServicePages(folder), QStringList{QStringLiteral("list.asp")});
        QFile edited(folder + QStringLiteral("/phone/menu.asp"));
        QVERIFY(edited.open(QIODevice::ReadOnly));
        QCOMPARE(edited.readAll(), QByteArray("mine"));
    }

    void pagesOfAnEarlierVersionAreReplacedAndEditedOnesKept() {
        TestHome home;
        const QString folder = home.path(QStringLiteral("d"));
        QVERIFY(CreateFolderPath(folder + QStringLiteral("/phone")));
        // The placeholder an early version wrote, an edited page, and a page as the program ships it now.
        const QByteArray placeholder =
            "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><meta name=\"viewport\" "
            "content=\"width=device-width, "
            "initial-scale=1\">\n<title>手机点餐</title></head>\n<body><p>手机点餐页面"
            "即将推出。</p></body></html>\n";
        const auto put = [&](const char* name, const QByteArray& content) {
            QFile file(folder + QStringLiteral("/phone/") + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        };
        QVERIFY(IsShippedPage(QStringLiteral("list.asp"), placeholder));
        put("list.asp", placeholder);
        put("menu.asp", "our own menu page");
        QFile shipped(QStringLiteral(":/phone/detail.asp"));
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        put("detail.asp", shipped.readAll());

        const QStringList written = WriteServicePages(folder);
        QVERIFY(written.contains(QStringLiteral("list.asp")));
        QVERIFY(!written.contains(QStringLiteral("menu.asp")));
        QVERIFY(!written.contains(QStringLiteral("detail.asp")));
        QCOMPARE(written.size(), 5);
        QCOMPARE(EditedServicePages(folder), QStringList{QStringLiteral("menu.asp")});
        QFile list(folder + QStringLiteral("/phone/list.asp"));
        QVERIFY(list.open(QIODevice::ReadOnly));
        QVERIFY(list.readAll().contains("退出登录"));
        QVERIFY(WriteServicePages(folder).isEmpty());
    }

    void everyPageTheProgramCarriesIsKnownAsShipped() {
        // So that a later version can tell this version's pages from the restaurant's own.
        for (const QString& name : ServicePageNames()) {
            QFile page(QStringLiteral(":/phone/") + name);
            QVERIFY(page.open(QIODevice::ReadOnly));
            QVERIFY2(IsShippedPage(name, page.readAll()), qPrintable(name));
        }
    }

    void theDataFolderIsTheOwnersAlone() {
        TestHome home;
        const QString folder = home.path(QStringLiteral("d"));
        // As an older version left it: readable by every local user.
        QVERIFY(CreateFolderPath(folder + QStringLiteral("/phone")));
        const QFileDevice::Permissions open = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadGroup | QFileDevice::ReadOther;
        for (const char* name : {"/数据库.dat", "/cjpos.log", "/phone/list.asp"}) {
            QFile file(folder + QString::fromUtf8(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.setPermissions(open);
        }
        QFile::setPermissions(folder,
                              open | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther);
        KeepDataPrivate(folder);
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                QFileDevice::WriteOther | QFileDevice::ExeOther;
        for (const char* name : {"", "/数据库.dat", "/cjpos.log", "/phone", "/phone/list.asp"})
            QCOMPARE(QFileInfo(folder + QString::fromUtf8(name)).permissions() & others,
                     QFileDevice::Permissions());
        // Files made afterwards, such as a new log or the database's journal, follow the same rule.
        QFile later(folder + QStringLiteral("/数据库.dat-wal"));
        QVERIFY(later.open(QIODevice::WriteOnly));
        QCOMPARE(later.permissions() & others, QFileDevice::Permissions());
    }

    void keyHasSevenCharacters() { QCOMPARE(DatabasePassword().size(), 7); }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "test_startup.moc"
