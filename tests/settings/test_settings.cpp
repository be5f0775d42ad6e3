#include "common/TestHome.h"
#include "settings/DiningTables.h"
#include "settings/Password.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Settings.h"

#include <QTest>

namespace {

QString storedPassword(Database& db) {
    Statement query(db, "SELECT \"密码\" FROM \"综合设置\"");
    return query.next() ? query.text(0) : QString();
}

void setPassword(Database& db, const QString& password) {
    Statement update(db, "UPDATE \"综合设置\" SET \"密码\" = ?");
    update.bind(1, password).run();
}

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

void addTables(Database& db, int count) {
    Statement add(db, "INSERT INTO \"餐桌设置\" (\"餐桌名称\", \"编号\") VALUES (?, ?)");
    for (int i = 0; i < count; ++i) {
        add.bind(1, QStringLiteral("加%1").arg(i))
            .bind(2, QStringLiteral("2025010100%1").arg(i, 4, 10, QChar('0')));
        add.run();
        add.reset();
    }
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

    void passwordChange_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("oldTyped");
        QTest::addColumn<QString>("newTyped");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("storedAfter");
        const int missing = int(PasswordChange::NewMissing);
        const int wrong = int(PasswordChange::OldWrong);
        const int changed = int(PasswordChange::Changed);
        QTest::newRow("new only blanks") << "739"
                                         << "739"
                                         << "   " << missing << "739";
        QTest::newRow("wrong old") << "739"
                                   << "738"
                                   << "888" << wrong << "739";
        QTest::newRow("old and new trimmed") << "739"
                                             << "  739 "
                                             << " a b " << changed << "a b";
        QTest::newRow("stored trailing blank never matches") << "739 "
                                                             << "739 "
                                                             << "888" << wrong << "739 ";
        QTest::newRow("case counts") << "Abc"
                                     << "abc"
                                     << "888" << wrong << "Abc";
        QTest::newRow("empty stored, empty old") << ""
                                                 << "  "
                                                 << "888" << changed << "888";
    }
    void passwordChange() {
        QFETCH(QString, stored);
        QFETCH(QString, oldTyped);
        QFETCH(QString, newTyped);
        QFETCH(int, result);
        QFETCH(QString, storedAfter);
        setPassword(*db_, stored);
        QCOMPARE(int(ChangePassword(*db_, oldTyped, newTyped)), result);
        QCOMPARE(storedPassword(*db_), storedAfter);
    }

    void overLongPasswordWritesNothing() {
        QVERIFY_THROWS_EXCEPTION(StoreError, ChangePassword(*db_, "739", QString(51, QChar('x'))));
        QCOMPARE(storedPassword(*db_), QStringLiteral("739"));
    }

    void marginsStoredAsTyped_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("millimetres");
        QTest::newRow("10.5") << "10.5" << 10.5;
        QTest::newRow("abc") << "abc" << 0.0;
        QTest::newRow("leading number") << " 7mm" << 7.0;
    }
    void marginsStoredAsTyped() {
        QFETCH(QString, typed);
        QFETCH(double, millimetres);
        SettingsStore editing(*db_);
        editing.setLeftMargin(typed);
        editing.setTopMargin(typed);
        QVERIFY(editing.saveDetails());
        SettingsStore reader(*db_);
        QCOMPARE(reader.leftMargin(), typed);
        QCOMPARE(reader.leftMarginMm(), millimetres);
        QCOMPARE(reader.topMarginMm(), millimetres);
    }

    void overLongDetailWritesNothing() {
        SettingsStore editing(*db_);
        editing.setPhone(QStringLiteral("123"));
        editing.setAddress(QString(101, QChar(u'路')));
        QVERIFY_THROWS_EXCEPTION(StoreError, editing.saveDetails());
        const std::optional<SettingsRow> row = ReadSettingsRow(*db_);
        QCOMPARE(row->phone, QStringLiteral("0571-88886666"));
        QCOMPARE(row->address, QStringLiteral("杭州市西湖区文三路88号"));
    }

    void saveTable_data() {
        QTest::addColumn<bool>("existing");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("stored"); // name stored under the key; null when there is no row
        const int saved = int(DiningTables::SaveResult::Saved);
        const int missing = int(DiningTables::SaveResult::NameMissing);
        QTest::newRow("new trimmed") << false << "  A1 " << saved << "A1";
        QTest::newRow("new duplicate name") << false << "大厅001" << saved << "大厅001";
        QTest::newRow("new empty") << false << "" << missing << QString();
        QTest::newRow("new blanks") << false << "   " << missing << QString();
        QTest::newRow("existing emptied") << true << "  " << saved << "";
        QTest::newRow("existing renamed") << true << "雅座" << saved << "雅座";
    }
    void saveTable() {
        QFETCH(bool, existing);
        QFETCH(QString, typed);
        QFETCH(int, result);
        QFETCH(QString, stored);
        DiningTables tables(*db_);
        const QString key =
            existing ? keyAt(*db_, 4) : tables.newKey(QDateTime(QDate(2025, 3, 1), QTime(9, 0)));
        QCOMPARE(int(tables.save(key, typed)), result);
        Statement query(*db_, "SELECT \"餐桌名称\" FROM \"餐桌设置\" WHERE \"编号\" = ?");
        query.bind(1, key);
        QCOMPARE(query.next() ? query.text(0) : QString(), stored);
        QCOMPARE(tables.rowCount(), 13 + (!existing && result == int(DiningTables::SaveResult::Saved)));
    }

    void overLongTableNameWritesNothing() {
        DiningTables tables(*db_);
        const QStringList before = tableNames(*db_);
        QVERIFY_THROWS_EXCEPTION(StoreError, tables.save(keyAt(*db_, 0), QString(51, QChar(u'桌'))));
        QVERIFY_THROWS_EXCEPTION(StoreError,
                                 tables.save(QStringLiteral("20250101000000"), QString(51, QChar('x'))));
        QCOMPARE(tableNames(*db_), before);
        QVERIFY(tables.save(keyAt(*db_, 0), QString(50, QChar(u'桌'))) == DiningTables::SaveResult::Saved);
    }

    void newKeysNeverRepeat() {
        DiningTables tables(*db_);
        const QDateTime now(QDate(2024, 1, 1), QTime(12, 0, 3));
        // The sample tables hold 20240101120000 .. 20240101120012.
        QCOMPARE(tables.newKey(now), QStringLiteral("20240101120013"));
        QCOMPARE(tables.newKey(now.addSecs(60)), QStringLiteral("20240101120103"));
    }

    void addingA46thTableIsRefused() {
        addTables(*db_, 45 - 13);
        DiningTables tables(*db_);
        QCOMPARE(int(tables.save(QStringLiteral("20990101000000"), "X")),
                 int(DiningTables::SaveResult::TooMany));
        QCOMPARE(tables.rowCount(), 45);
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

    void deleteGuard_data() {
        QTest::addColumn<int>("deleted");
        QTest::addColumn<int>("occupiedTable");
        QTest::addColumn<int>("openTable");
        QTest::addColumn<int>("verdict");
        const int ok = int(DiningTables::Removal::Ok);
        const int occupied = int(DiningTables::Removal::Occupied);
        const int orderOpen = int(DiningTables::Removal::OrderOpen);
        QTest::newRow("table itself holds a bill") << 4 << 4 << -1 << occupied;
        QTest::newRow("bill on a later table moves along") << 4 << 7 << -1 << ok;
        QTest::newRow("ordering window open on it") << 4 << -1 << 4 << orderOpen;
        QTest::newRow("ordering window open later") << 4 << -1 << 9 << orderOpen;
        QTest::newRow("ordering window open earlier") << 4 << -1 << 2 << ok;
        QTest::newRow("slot of other length counts as free") << 4 << -2 << -1 << ok;
    }
    void deleteGuard() {
        QFETCH(int, deleted);
        QFETCH(int, occupiedTable);
        QFETCH(int, openTable);
        QFETCH(int, verdict);
        if (occupiedTable >= 0)
            WriteSlot(*db_, occupiedTable, bill(1));
        if (occupiedTable == -2)
            WriteSlot(*db_, deleted, QStringLiteral("1234"));
        const QString key = keyAt(*db_, deleted);
        const QStringList before = tableNames(*db_);
        const QStringList slotsBefore = ReadSlots(*db_, 51);
        DiningTables tables(*db_);
        QCOMPARE(int(tables.checkRemoval(key, openTable)), verdict);
        QCOMPARE(int(tables.remove(key, openTable)), verdict);
        if (verdict != int(DiningTables::Removal::Ok)) {
            QCOMPARE(tableNames(*db_), before);
            QCOMPARE(ReadSlots(*db_, 51), slotsBefore);
        } else {
            QCOMPARE(tableNames(*db_).size(), before.size() - 1);
            QCOMPARE(int(tables.remove(key)), int(DiningTables::Removal::Missing));
        }
    }

private:
    std::unique_ptr<TestHome> home_;
    std::unique_ptr<Database> db_;
};

QTEST_GUILESS_MAIN(SettingsLogicTest)
#include "test_settings.moc"
