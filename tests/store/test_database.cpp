#include "common/TestHome.h"

#include "app/Startup.h"
#include "store/Database.h"
#include "store/EngineMessage.h"
#include "store/Schema.h"
#include "store/Settings.h"

#include <QFile>
#include <QTest>
#include <sqlite3.h>

class DatabaseTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void schemaHasTheColumnsAndSampleRows() {
        TestHome home;
        auto db = home.createDatabase();
        QCOMPARE(db->userVersion(), kSchemaVersion);

        const auto settings = ReadSettingsRow(*db);
        QVERIFY(settings);
        QCOMPARE(settings->password, QStringLiteral("739"));
        QCOMPARE(settings->leftMargin, QStringLiteral("10"));
        QCOMPARE(settings->mobileOrdering, QStringLiteral("0"));
        QCOMPARE(ReadSlots(*db, 51), QStringList(51, QString()));

        Statement tables(*db, "SELECT count(*) FROM \"餐桌设置\"");
        QVERIFY(tables.next());
        QCOMPARE(tables.integer(0), 13);
        Statement menu(*db, "SELECT \"名称\", \"拼音\", \"查询\" FROM \"菜单\" WHERE \"名称\" = '宫保鸡丁'");
        QVERIFY(menu.next());
        QCOMPARE(menu.text(2), QStringLiteral("宫保鸡丁-gbjd"));
        Statement categories(*db, "SELECT count(DISTINCT \"分类\"), count(*) FROM \"菜单\"");
        QVERIFY(categories.next());
        QCOMPARE(categories.integer(0), 3);
        QCOMPARE(categories.integer(1), 10);
        Statement empty(*db, "SELECT (SELECT count(*) FROM \"桌台\") + (SELECT count(*) FROM \"明细\")");
        QVERIFY(empty.next());
        QCOMPARE(empty.integer(0), 0);
    }

    void slotsWriteAndRead() {
        TestHome home;
        auto db = home.createDatabase();
        WriteSlot(*db, 3, QStringLiteral("20241212130725"));
        WriteSlot(*db, 44, QStringLiteral("x"));
        const QStringList slots = ReadSlots(*db, 46);
        QCOMPARE(slots.at(3), QStringLiteral("20241212130725"));
        QCOMPARE(slots.at(44), QStringLiteral("x"));
        QVERIFY_THROWS_EXCEPTION(StoreError, WriteSlot(*db, 51, QString()));
    }

    void widthsAreCheckedInCharacters() {
        CheckWidths(QStringLiteral("餐桌设置"), {{"餐桌名称", QString(50, QChar(0x5927))}});
        QVERIFY_THROWS_EXCEPTION(StoreError, CheckWidths(QStringLiteral("餐桌设置"),
                                                         {{"餐桌名称", QString(51, QLatin1Char('a'))}}));
        // An emoji is one character even though it takes two UTF-16 units.
        const QString emoji = QString::fromUcs4(U"\U0001F600");
        CheckWidths(QStringLiteral("桌台"), {{"应收", emoji.repeated(10)}});
        QCOMPARE(ColumnWidth(QStringLiteral("菜单"), QStringLiteral("查询")), 50);
        QCOMPARE(ColumnWidth(QStringLiteral("综合设置"), QStringLiteral("44")), 50);
    }

    void fileIsEncryptedAndNeedsTheKey() {
        TestHome home;
        const QString path = home.path(QStringLiteral("enc.dat"));
        {
            Database db(path, DatabasePassword());
            CreateSchema(db);
            db.exec("PRAGMA wal_checkpoint(TRUNCATE);");
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.size() > 4096);
        QVERIFY(!bytes.contains(QStringLiteral("大厅").toUtf8()));
        QVERIFY(!bytes.contains(QStringLiteral("综合设置").toUtf8()));
        QVERIFY(!bytes.startsWith("SQLite format 3"));

        try {
            Database wrongKey(path, QStringLiteral("wrong"));
            QFAIL("opened with a wrong key");
        } catch (const StoreError& error) {
            QVERIFY2(error.text().contains(QStringLiteral("密码不对")), qPrintable(error.text()));
        }
        QVERIFY_THROWS_EXCEPTION(StoreError, Database(path, QString()));
        Database again(path, DatabasePassword());
        QCOMPARE(again.userVersion(), kSchemaVersion);
    }

    void engineFailuresAreExplainedToTheUser() {
        // Extended codes (a failed write, a moved file) fall under their primary cause.
        QVERIFY(EngineCodeMessage(SQLITE_FULL).startsWith(QStringLiteral("磁盘空间已满（")));
        QVERIFY(EngineCodeMessage(SQLITE_IOERR_WRITE).startsWith(QStringLiteral("磁盘读写出错（")));
        QVERIFY(EngineCodeMessage(SQLITE_READONLY_DBMOVED).contains(QStringLiteral("只读")));
        QVERIFY(EngineCodeMessage(SQLITE_BUSY_SNAPSHOT).contains(QStringLiteral("占用")));
        QVERIFY(EngineCodeMessage(SQLITE_NOTADB).contains(QStringLiteral("损坏")));
        // Causes a user cannot act on keep the engine's own words.
        QCOMPARE(EngineCodeMessage(SQLITE_MISMATCH), QString::fromUtf8(sqlite3_errstr(SQLITE_MISMATCH)));
    }

    void failedTransactionLeavesNothing() {
        TestHome home;
        auto db = home.createDatabase();
        try {
            Transaction transaction(*db);
            WriteSlot(*db, 1, QStringLiteral("20240101010101"));
            throw StoreError(QStringLiteral("interrupted"));
        } catch (const StoreError&) {
        }
        QCOMPARE(ReadSlots(*db, 2).at(1), QString());
    }
};

QTEST_GUILESS_MAIN(DatabaseTest)
#include "test_database.moc"
