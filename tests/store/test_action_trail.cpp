// The action trail: rows chain to each other, go with the step that records them, are cut to fit rather
// than refused; a change to the file is found at its row, a server refuses it; a copy keeps the chain.
#include "common/TestHome.h"

#include "app/DatabaseCopy.h"
#include "store/ActionTrail.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"
#include "store/Schema.h"

#include <QTest>

namespace {

Action returnedDish(const QString& staff, const QString& table, const QString& time) {
    return {staff,
            trail_action::kReturnDish,
            table,
            QStringLiteral("20241212130001"),
            QStringLiteral("宫保鸡丁 2 → 1"),
            kTrailReasons.first(),
            QStringLiteral("001"),
            time};
}

void appendFive(ActionTrail& trail) {
    for (int i = 1; i <= 5; ++i)
        trail.append(returnedDish(QStringLiteral("00%1").arg(i % 2 + 2), QStringLiteral("%1号桌").arg(i),
                                  QStringLiteral("2024-12-1%1 12:00:00").arg(i)));
}

qint64 trailRows(Database& db) {
    Statement count(db, "SELECT count(*) FROM \"操作记录\"");
    return count.next() ? count.integer(0) : -1;
}

QStringList serialsOf(const QList<TrailRow>& rows) {
    QStringList serials;
    for (const TrailRow& row : rows)
        serials.append(QString::number(row.serial));
    return serials;
}

} // namespace

class ActionTrailTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void appendedRowsChainReadBackByFilterAndGoWithTheirStep() {
        TestHome home;
        const auto db = home.createDatabase();
        ActionTrail trail(*db);
        {
            // Recorded inside an action that is then undone: the row goes with it.
            Transaction undone(*db);
            trail.append(returnedDish(QStringLiteral("002"), QStringLiteral("1号桌"), {}));
        }
        QCOMPARE(trailRows(*db), 0);

        appendFive(trail);
        Action longOne = returnedDish(QStringLiteral("002"), QStringLiteral("9号桌"), {});
        longOne.content = QString(1200, QChar(u'长')) + QStringLiteral("😀");
        longOne.reason = QStringLiteral("😀") + QString(300, QChar(u'因'));
        QCOMPARE(trail.append(longOne), 6);
        QVERIFY(trail.verify().whole());

        const QList<TrailRow> all = trail.rows();
        QCOMPARE(serialsOf(all).join(QLatin1Char(',')), QStringLiteral("1,2,3,4,5,6"));
        QCOMPARE(all.last().action.content, QString(1000, QChar(u'长')));
        QCOMPARE(all.last().action.reason, QStringLiteral("😀") + QString(199, QChar(u'因')));
        QCOMPARE(all.last().action.time.size(), 19); // filled with now
        QCOMPARE(all.first().check.size(), 64);

        TrailFilter filter;
        filter.first = QDate(2024, 12, 12);
        filter.last = QDate(2024, 12, 14);
        QCOMPARE(serialsOf(trail.rows(filter)).join(QLatin1Char(',')), QStringLiteral("2,3,4"));
        filter.staff = QStringLiteral("002");
        QCOMPARE(serialsOf(trail.rows(filter)).join(QLatin1Char(',')), QStringLiteral("2,4"));
        filter = {};
        filter.table = QStringLiteral("5号桌");
        filter.actionContains = QStringLiteral("退");
        QCOMPARE(serialsOf(trail.rows(filter)).join(QLatin1Char(',')), QStringLiteral("5"));
        filter.actionContains = QStringLiteral("%");
        QVERIFY(trail.rows(filter).isEmpty());
    }

    // On the file a changed row and a deleted one are found at their 序号; on a server neither change is
    // possible, not even emptying the table.
    void changesAreFoundOnTheFileAndRefusedOnTheServer() {
        TestHome home;
        const auto db = home.createDatabase();
        ActionTrail trail(*db);
        appendFive(trail);
        const QList<TrailRow> before = trail.rows();
        const auto change = [&db](const char* sql) { Statement(*db, sql).run(); };
        const char* const edit = "UPDATE \"操作记录\" SET \"内容\" = '宫保鸡丁 2 → 2' WHERE \"序号\" = '3'";
        const char* const removal = "DELETE FROM \"操作记录\" WHERE \"序号\" = '2'";

        if (db->isServer()) {
            for (const char* sql : {edit, removal, "DELETE FROM \"操作记录\"", "TRUNCATE \"操作记录\""}) {
                try {
                    change(sql);
                    QFAIL(sql);
                } catch (const StoreError& error) {
                    QVERIFY2(error.text().contains(QStringLiteral("操作记录不能修改或删除")),
                             qPrintable(error.text()));
                }
            }
            QCOMPARE(trail.rows().size(), before.size());
            QCOMPARE(trail.rows().at(2).action.content, before.at(2).action.content);
            QVERIFY(trail.verify().whole());
            return;
        }
        change(edit);
        TrailCheck found = trail.verify();
        QCOMPARE(found.problem, TrailCheck::Problem::Changed);
        QCOMPARE(found.serial, 3);

        Statement restore(*db, "UPDATE \"操作记录\" SET \"内容\" = ? WHERE \"序号\" = '3'");
        restore.bind(1, before.at(2).action.content).run();
        QVERIFY(trail.verify().whole());
        change(removal);
        found = trail.verify();
        QCOMPARE(found.problem, TrailCheck::Problem::Missing);
        QCOMPARE(found.serial, 2);
    }

    // A file's trail reaches a server row for row, 校验 included, and the server goes on with the chain;
    // a server that already holds a trail is never a copy's target, even when told to overwrite.
    void copyToServerKeepsTheChainAndNeverReplacesAServersTrail() {
        if (!TestsOnServer())
            QSKIP("a copy onto a server");
        TestHome home;
        Database source(home.path(QStringLiteral("源.dat")), DatabasePassword());
        CreateSchema(source);
        ActionTrail fileTrail(source);
        appendFive(fileTrail);

        const auto server = Database::ConnectServer(TestHome::createServerDatabase());
        CopyDatabase(source, *server, {});
        ActionTrail serverTrail(*server);
        const QList<TrailRow> copied = serverTrail.rows();
        QCOMPARE(copied.size(), 5);
        for (int i = 0; i < copied.size(); ++i)
            QCOMPARE(copied.at(i).check, fileTrail.rows().at(i).check);
        QCOMPARE(serverTrail.append(returnedDish(QStringLiteral("002"), QStringLiteral("8号桌"), {})), 6);
        QVERIFY(serverTrail.verify().whole());

        CopyOptions overwrite;
        overwrite.overwrite = true;
        try {
            CopyDatabase(source, *server, overwrite);
            QFAIL("a server's trail was replaced");
        } catch (const StoreError& error) {
            QVERIFY2(error.text().contains(QStringLiteral("6 条操作记录")), qPrintable(error.text()));
        }
        QVERIFY(!HasUnfinishedCopyMark(*server));
        QCOMPARE(trailRows(*server), 6);
    }
};

QTEST_GUILESS_MAIN(ActionTrailTest)
#include "test_action_trail.moc"
