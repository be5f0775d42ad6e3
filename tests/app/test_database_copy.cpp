// What a copy of the program's database refuses and how a copy cut off half-way is handled; and text the
// engines would store differently.
#include "common/TestHome.h"

#include "app/DatabaseCopy.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"
#include "store/Schema.h"

#include <QTest>

namespace {

QString restaurantName(Database& db) {
    Statement read(db, "SELECT \"餐馆名称\" FROM \"综合设置\" ORDER BY rowid LIMIT 1");
    return read.next() ? read.text(0) : QString();
}

void renameRestaurant(Database& db, const QString& name) {
    Statement write(db, "UPDATE \"综合设置\" SET \"餐馆名称\" = ?");
    write.bind(1, name).run();
}

} // namespace

class TestDatabaseCopy : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A target with the program's data but no bill (its own name, password, dishes, printers) is
    // replaced only with --overwrite.
    void targetWithProgramDataIsReplacedOnlyWhenAsked() {
        TestHome home;
        const auto source = home.createDatabase(QStringLiteral("源.dat"));
        renameRestaurant(*source, QStringLiteral("源头饭店"));
        Database target(home.path(QStringLiteral("目标.dat")), DatabasePassword());
        CreateSchema(target);
        renameRestaurant(target, QStringLiteral("自家小馆"));

        try {
            CopyDatabase(*source, target, {});
            QFAIL("a target holding the program's data was overwritten");
        } catch (const StoreError& error) {
            QVERIFY(error.text().contains(QStringLiteral("--overwrite")));
        }
        QCOMPARE(restaurantName(target), QStringLiteral("自家小馆"));

        CopyOptions overwrite;
        overwrite.overwrite = true;
        CopyDatabase(*source, target, overwrite);
        QCOMPARE(restaurantName(target), QStringLiteral("源头饭店"));
    }

    // A copy cut off before its commit leaves the mark: the program will not start on that database, and
    // the next copy replaces it without being told to overwrite.
    void unfinishedCopyIsRefusedThenReplaced() {
        if (TestsOnServer())
            QSKIP("the program's own file is what this case opens");
        TestHome home;
        const auto source = home.createDatabase(QStringLiteral("源.dat"));
        renameRestaurant(*source, QStringLiteral("源头饭店"));
        const QString dataFolder = home.path(QStringLiteral("数据"));
        QVERIFY(CreateFolderPath(dataFolder));
        {
            Database target(dataFolder + QLatin1Char('/') + kDatabaseFileName, DatabasePassword());
            MarkUnfinishedCopy(target);
            CreateSchema(target); // the sample restaurant a half-done copy may leave
        }
        try {
            OpenProgramDatabase(dataFolder);
            QFAIL("the program started on an unfinished copy");
        } catch (const StoreError& error) {
            QVERIFY(error.text().contains(QStringLiteral("没有完成的复制")));
        }
        {
            Database target(dataFolder + QLatin1Char('/') + kDatabaseFileName, DatabasePassword());
            CopyDatabase(*source, target, {});
            QVERIFY(!HasUnfinishedCopyMark(target));
        }
        QCOMPARE(restaurantName(*OpenProgramDatabase(dataFolder)), QStringLiteral("源头饭店"));
    }

    // A server's text ends at a NUL, so "Wang\0Hidden" would be kept as "Wang" there: neither engine takes
    // it.
    void textWithNulIsRefusedOnBothEngines() {
        TestHome home;
        const auto db = home.createDatabase();
        const QString before = restaurantName(*db);
        QVERIFY_THROWS_EXCEPTION(StoreError, renameRestaurant(*db, QStringLiteral("Wang") + QChar(u'\0') +
                                                                       QStringLiteral("Hidden")));
        QCOMPARE(restaurantName(*db), before);
    }
};

QTEST_GUILESS_MAIN(TestDatabaseCopy)
#include "test_database_copy.moc"
