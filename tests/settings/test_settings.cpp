#include "common/TestHome.h"
#include "settings/DiningTables.h"
#include "store/Database.h"
#include "store/Settings.h"

#include <QTest>

namespace {

QStringList tableNames(Database& db) {
    QStringList names;
    Statement query(db, "SELECT \"餐桌名称\" FROM \"餐桌设置\" ORDER BY rowid");
    while (query.next())
        names.append(query.text(0));
    return names;
}

QString keyAt(Database& db, int position) {
    Statement query(db, "SELECT \"编号\" FROM \"餐桌设置\" ORDER BY rowid LIMIT 1 OFFSET ?");
    query.bind(1, position);
    return query.next() ? query.text(0) : QString();
}

QString bill(int n) {
    return QStringLiteral("2024121213%1").arg(n, 4, 10, QChar('0'));
}

} // namespace

class SettingsLogicTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        home_ = std::make_unique<TestHome>();
        db_ = home_->createDatabase();
    }
    void cleanup() {
        db_.reset();
        home_.reset();
    }

    void newKeysNeverRepeat() {
        DiningTables tables(*db_);
        const QDateTime now(QDate(2024, 1, 1), QTime(12, 0, 3));
        // The sample tables hold 20240101120000 .. 20240101120012.
        QCOMPARE(tables.newKey(now), QStringLiteral("20240101120013"));
        QCOMPARE(tables.newKey(now.addSecs(60)), QStringLiteral("20240101120103"));
    }

    void deleteMovesLaterSlotsWithTheirTables_data() {
        QTest::addColumn<int>("deleted");
        QTest::addColumn<QList<int>>("occupied");      // tables with an open bill before the delete
        QTest::addColumn<QList<int>>("occupiedAfter"); // the same bills' tables afterwards
        QTest::newRow("first, bills later") << 0 << QList<int>{3, 12} << QList<int>{2, 11};
        QTest::newRow("middle, bills around") << 5 << QList<int>{1, 4, 6, 9} << QList<int>{1, 4, 5, 8};
        QTest::newRow("last") << 12 << QList<int>{0, 11} << QList<int>{0, 11};
    }
    void deleteMovesLaterSlotsWithTheirTables() {
        QFETCH(int, deleted);
        QFETCH(QList<int>, occupied);
        QFETCH(QList<int>, occupiedAfter);
        for (int i = 0; i < occupied.size(); ++i)
            WriteSlot(*db_, occupied.at(i), bill(i));
        QStringList names = tableNames(*db_);
        DiningTables tables(*db_);
        QCOMPARE(int(tables.remove(keyAt(*db_, deleted))), int(DiningTables::Removal::Ok));
        names.removeAt(deleted);
        QCOMPARE(tableNames(*db_), names);
        const QStringList slots = ReadSlots(*db_, 51);
        QStringList expected(51, QString());
        for (int i = 0; i < occupiedAfter.size(); ++i)
            expected[occupiedAfter.at(i)] = bill(i);
        QCOMPARE(slots, expected);
    }

private:
    std::unique_ptr<TestHome> home_;
    std::unique_ptr<Database> db_;
};

QTEST_GUILESS_MAIN(SettingsLogicTest)
#include "test_settings.moc"
