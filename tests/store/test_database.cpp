#include "common/StaffPasswords.h"
#include "common/TestHome.h"

#include "store/Database.h"
#include "store/EngineMessage.h"
#include "store/ProgramDatabase.h"
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
        // The sample password is the first account's, kept only as a hash.
        QCOMPARE(settings->password, QString());
        QVERIFY(FirstStaffPasswordIs(*db, QStringLiteral("739")));
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

    void nestedStepsAreSavepointsOfTheEnclosingStep() {
        TestHome home;
        auto db = home.createDatabase();
        const QString kept = QStringLiteral("20240101010101");
        const QString undone = QStringLiteral("20240101010102");
        {
            Transaction outer(*db);
            QVERIFY(!outer.nested());
            WriteSlot(*db, 1, kept);
            {
                Transaction inner(*db);
                QVERIFY(inner.nested());
                WriteSlot(*db, 2, kept);
                inner.commit();
            }
            try {
                Transaction failing(*db);
                WriteSlot(*db, 3, undone);
                {
                    Transaction deeper(*db);
                    WriteSlot(*db, 4, undone);
                    deeper.commit();
                }
                throw StoreError(QStringLiteral("interrupted"));
            } catch (const StoreError&) {
            }
            // Only the failed step's own changes are gone; the enclosing step goes on.
            QCOMPARE(ReadSlots(*db, 5), (QStringList{"", kept, kept, "", ""}));
            QVERIFY(db->inTransaction());
            outer.commit();
        }
        QVERIFY(!db->inTransaction());
        QCOMPARE(ReadSlots(*db, 5), (QStringList{"", kept, kept, "", ""}));

        // An enclosing step that ends without commit takes its committed inner steps with it.
        {
            Transaction outer(*db);
            Transaction inner(*db);
            WriteSlot(*db, 6, undone);
            inner.commit();
        }
        QCOMPARE(ReadSlots(*db, 7).at(6), QString());
        // Steps after a finished one start afresh as outermost.
        Transaction next(*db);
        QVERIFY(!next.nested());
        next.commit();
    }

    void aStepTheEngineAbortedCannotBeCommittedAsIfKept() {
        TestHome home;
        auto db = home.createDatabase();
        Transaction outer(*db);
        Transaction inner(*db);
        WriteSlot(*db, 1, QStringLiteral("20240101010101"));
        // What a full disk or a lost lock does: the engine ends the whole transaction on its own.
        db->exec("ROLLBACK;");
        QVERIFY_THROWS_EXCEPTION(StoreError, inner.commit());
        QVERIFY_THROWS_EXCEPTION(StoreError, outer.commit());
        QCOMPARE(ReadSlots(*db, 2).at(1), QString());
    }

    // Kept phone pages are trusted while this number stands still: it moves with every commit of another
    // connection, however closely they follow each other, whether or not this connection read in between,
    // and when that connection has restarted its log.
    void commitsByOthersMoveWithEveryOtherCommit() {
        TestHome home;
        auto db = home.createDatabase();
        auto counter = TestHome::openAsAnotherCounter(*db);
        qint64 seen = db->commitsByOthers();
        for (int round = 0; round < 12; ++round) {
            if (round % 4 == 2 && counter->handle())
                counter->exec("PRAGMA wal_checkpoint(TRUNCATE);");
            const QByteArray change =
                "UPDATE \"综合设置\" SET \"电话\" = '" + QByteArray::number(round) + "'";
            counter->exec(change.constData());
            if (round % 3 == 1)
                Statement(*db, "SELECT count(*) FROM \"综合设置\"").next();
            const qint64 now = db->commitsByOthers();
            QVERIFY2(now != seen, qPrintable(QStringLiteral("round %1").arg(round)));
            seen = now;
        }
    }

    void readStepsShareOneSnapshot() {
        TestHome home;
        auto db = home.createDatabase();
        const std::unique_ptr<Database> other = db->connectAgain();
        Transaction reading(*db, Transaction::Kind::Read);
        QCOMPARE(ReadSlots(*db, 2).at(1), QString());
        // Another connection (the server's) writes meanwhile; the read step keeps seeing its snapshot.
        WriteSlot(*other, 1, QStringLiteral("20240101010101"));
        QCOMPARE(ReadSlots(*db, 2).at(1), QString());
        reading.commit();
        QCOMPARE(ReadSlots(*db, 2).at(1), QStringLiteral("20240101010101"));
    }
};

QTEST_GUILESS_MAIN(DatabaseTest)
#include "test_database.moc"
