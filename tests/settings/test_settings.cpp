#include "common/StaffPasswords.h"
#include "common/TestHome.h"
#include "settings/DiningTables.h"
#include "settings/Password.h"
#include "settings/RoleRights.h"
#include "settings/StaffAccounts.h"
#include "store/Database.h"
#include "store/Schema.h"
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

    void newKeysNeverRepeat() {
        DiningTables tables(*db_);
        const QDateTime now(QDate(2024, 1, 1), QTime(12, 0, 3));
        // The sample tables hold 20240101120000 .. 20240101120012.
        QCOMPARE(tables.newKey(now), QStringLiteral("20240101120013"));
        QCOMPARE(tables.newKey(now.addSecs(60)), QStringLiteral("20240101120103"));
    }

    // Columns: stored password, old and new as typed, result, stored afterwards.
    void passwordChange_data() {
        for (const char* column : {"stored", "oldTyped", "newTyped"})
            QTest::addColumn<QString>(column);
        QTest::addColumn<PasswordChange>("result");
        QTest::addColumn<QString>("storedAfter");
        QTest::newRow("new empty") << "739"
                                   << "739"
                                   << "" << PasswordChange::NewMissing << "739";
        QTest::newRow("new only blanks") << "739"
                                         << "739"
                                         << " \t " << PasswordChange::NewMissing << "739";
        QTest::newRow("old wrong") << "739"
                                   << "793"
                                   << "8" << PasswordChange::OldWrong << "739";
        QTest::newRow("both trimmed") << "739"
                                      << " 739 "
                                      << " 8 8 " << PasswordChange::Changed << "8 8";
        // The login's rule: "Ab86" signs in with "ab86", so 修改密码 takes it as the old password too.
        QTest::newRow("case ignored") << "Ab86"
                                      << "ab86"
                                      << "X1" << PasswordChange::Changed << "x1";
    }
    void passwordChange() {
        QFETCH(QString, stored);
        QFETCH(QString, oldTyped);
        QFETCH(QString, newTyped);
        QFETCH(PasswordChange, result);
        QFETCH(QString, storedAfter);
        QCOMPARE(NewPasswordMissing(newTyped), result == PasswordChange::NewMissing);
        SetFirstStaffPassword(*db_, stored);
        QCOMPARE(ChangePassword(*db_, kFirstStaffId, oldTyped, newTyped), result);
        QVERIFY(FirstStaffPasswordIs(*db_, storedAfter));
        QCOMPARE(FirstStaffPasswordIs(*db_, stored),
                 result != PasswordChange::Changed || stored == storedAfter);
    }

    // An installation from before the staff accounts: its password becomes account 001's, a 店长's, signs
    // in by the login's rule, and is no longer kept as text anywhere.
    void anUpgradeMakesTheFirstAccountFromTheSettingsPassword() {
        for (const char* table : {"员工", "角色权限", "操作记录"})
            db_->exec((QByteArray("DROP TABLE \"") + table + "\"").constData());
        Statement(*db_, "UPDATE \"综合设置\" SET \"密码\" = 'Ab86'").run();
        db_->setUserVersion(7);
        MigrateSchema(*db_);
        const std::optional<StaffAccount> first = LoginAccount(*db_);
        QVERIFY(first);
        QCOMPARE(first->id, QStringLiteral("001"));
        QCOMPARE(first->role, QStringLiteral("店长"));
        QVERIFY(StaffPasswordMatches(*db_, QStringLiteral("001"), QStringLiteral(" ab86")));
        QVERIFY(!StaffPasswordMatches(*db_, QStringLiteral("001"), QStringLiteral("739")));
        QCOMPARE(ReadSettingsRow(*db_)->password, QString());
        QVERIFY(first->passwordHash.startsWith(QStringLiteral("$argon2id$")));
        // A second start changes nothing.
        MigrateSchema(*db_);
        QCOMPARE(LoginAccount(*db_)->passwordHash, first->passwordHash);
    }

    // 新单提醒 is off in a new database and in an upgraded one (its added column is empty), and keeps what
    // is switched; upgrading again leaves the column as it is.
    void newOrderAlertIsOffUntilSwitchedOn() {
        QVERIFY(!ReadNewOrderAlert(*db_));
        Statement(*db_, "UPDATE \"综合设置\" SET \"新单提醒\" = NULL").run();
        QVERIFY(!ReadNewOrderAlert(*db_));
        WriteNewOrderAlert(*db_, true);
        db_->setUserVersion(9);
        MigrateSchema(*db_);
        QVERIFY(ReadNewOrderAlert(*db_));
        WriteNewOrderAlert(*db_, false);
        QVERIFY(!ReadNewOrderAlert(*db_));
    }

    // Staff accounts: 工号 taken once, a password for a new one, a blank one keeps the old, and the
    // restaurant always keeps an enabled 店长.
    void staffAccountsKeepTheirRules() {
        const auto refusal = [](const std::function<void()>& edit) {
            try {
                edit();
            } catch (const StoreError& error) {
                return error.text();
            }
            return QString();
        };
        AddStaffAccount(*db_, {QStringLiteral(" 007 "), QStringLiteral("小王"), kRoleWaiter, true,
                               QStringLiteral("Wang7")});
        QVERIFY(StaffPasswordMatches(*db_, QStringLiteral("007"), QStringLiteral("wang7")));
        QCOMPARE(refusal([&] {
                     AddStaffAccount(*db_, {QStringLiteral("007"), QStringLiteral("小李"), kRoleWaiter, true,
                                            QStringLiteral("1")});
                 }),
                 QStringLiteral("工号 007 已经有人用了。"));
        QCOMPARE(refusal([&] {
                     AddStaffAccount(*db_, {QStringLiteral("008"), QStringLiteral("小李"), kRoleCashier, true,
                                            QStringLiteral(" ")});
                 }),
                 QStringLiteral("请输入密码。"));
        UpdateStaffAccount(*db_,
                           {QStringLiteral("007"), QStringLiteral("王五"), kRoleCashier, true, QString()});
        const std::optional<StaffAccount> changed = ReadStaffAccount(*db_, QStringLiteral("007"));
        QCOMPARE(changed->name, QStringLiteral("王五"));
        QCOMPARE(changed->role, kRoleCashier);
        QVERIFY(StaffPasswordMatches(*db_, QStringLiteral("007"), QStringLiteral("Wang7")));
        QCOMPARE(refusal([&] {
                     UpdateStaffAccount(
                         *db_, {kFirstStaffId, QStringLiteral("店长"), kRoleOwner, false, QString()});
                 }),
                 QStringLiteral("至少要保留一个启用的店长。"));
        QVERIFY(ReadStaffAccount(*db_, kFirstStaffId)->enabled);
        QCOMPARE(EnabledStaffAccounts(*db_).size(), 2);
        UpdateStaffAccount(*db_,
                           {QStringLiteral("007"), QStringLiteral("王五"), kRoleCashier, false, QString()});
        QCOMPARE(EnabledStaffAccounts(*db_).size(), 1);
        QCOMPARE(ReadStaffAccounts(*db_).size(), 2);
        QVERIFY(!StaffPasswordMatches(*db_, QStringLiteral("007"), QStringLiteral("Wang7")));
    }

    // Each role: one right it has and one it lacks; the 店长 changes a role's rights but never the 店长's,
    // and approves with their own 工号 and password only.
    void rolesHaveTheirRightsAndAnOwnerApproves() {
        using namespace staff_right;
        QVERIFY(RoleAllows(*db_, kRoleCashier, kCheckout));
        QVERIFY(!RoleAllows(*db_, kRoleCashier, kMenu));
        QVERIFY(RoleAllows(*db_, kRoleWaiter, kOrder));
        QVERIFY(!RoleAllows(*db_, kRoleWaiter, kTakeBack));
        QVERIFY(RoleAllows(*db_, kRoleOwner, kDeleteBill));
        SetRoleRight(*db_, kRoleWaiter, kCheckout, true);
        SetRoleRight(*db_, kRoleCashier, kCheckout, false);
        QVERIFY(RoleAllows(*db_, kRoleWaiter, kCheckout));
        QVERIFY(!RoleAllows(*db_, kRoleCashier, kCheckout));
        QVERIFY_THROWS_EXCEPTION(StoreError, SetRoleRight(*db_, kRoleOwner, kMenu, false));

        AddStaffAccount(*db_, {QStringLiteral("007"), QStringLiteral("小王"), kRoleWaiter, true,
                               QStringLiteral("Wang7")});
        QCOMPARE(OwnerApproval(*db_, QStringLiteral("001"), QStringLiteral(" 739")), QStringLiteral("001"));
        QVERIFY(!OwnerApproval(*db_, QStringLiteral("001"), QStringLiteral("Wang7")));
        QVERIFY(!OwnerApproval(*db_, QStringLiteral("007"), QStringLiteral("Wang7")));
    }

    // 收银员折扣下限: none until set; the 角色权限 tab's 保存 stores it with the rights when it is a number
    // from 0 to 1, and any other value refuses the whole save, the rights with it.
    void discountLimitIsSavedWithTheRightsOrNothingIs_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::newRow("eighty percent") << " 0.80 "
                                        << "0.8";
        QTest::newRow("no limit") << "0"
                                  << "0";
        QTest::newRow("whole price") << "1"
                                     << "1";
        QTest::newRow("above one") << "1.5" << QString();
        QTest::newRow("not a number") << "abc" << QString();
        QTest::newRow("negative") << "-0.1" << QString();
        QTest::newRow("too many decimals") << "0.123456" << QString();
    }
    void discountLimitIsSavedWithTheRightsOrNothingIs() {
        using namespace staff_right;
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QCOMPARE(DiscountLimit(*db_), QStringLiteral("0"));
        SetDiscountLimit(*db_, QStringLiteral("0.9"));
        const QList<RoleRight> rights{{kRoleWaiter, kCheckout, true}, {kRoleCashier, kDiscount, false}};
        if (stored.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(StoreError, SaveRoleRights(*db_, rights, typed));
            QVERIFY_THROWS_EXCEPTION(StoreError, SetDiscountLimit(*db_, typed));
            QCOMPARE(DiscountLimit(*db_), QStringLiteral("0.9"));
        } else {
            SaveRoleRights(*db_, rights, typed);
            QCOMPARE(DiscountLimit(*db_), stored);
        }
        QCOMPARE(RoleAllows(*db_, kRoleWaiter, kCheckout), !stored.isEmpty());
        QCOMPARE(RoleAllows(*db_, kRoleCashier, kDiscount), stored.isEmpty());
    }

    void tableLimitHoldsForTheCountAndForSaving_data() {
        QTest::addColumn<int>("tables");
        QTest::addColumn<bool>("room");
        QTest::newRow("44 tables") << 44 << true;
        QTest::newRow("45 tables") << 45 << false;
        QTest::newRow("50 tables") << 50 << false;
    }
    void tableLimitHoldsForTheCountAndForSaving() {
        QFETCH(int, tables);
        QFETCH(bool, room);
        QCOMPARE(DiningTables::RoomForAnother(tables), room);

        DiningTables dining(*db_);
        addTables(*db_, tables - dining.rowCount()); // more than the limit only by writing rows directly
        const QDateTime now(QDate(2025, 1, 1), QTime(8, 0));
        const DiningTables::SaveResult expected =
            room ? DiningTables::SaveResult::Saved : DiningTables::SaveResult::TooMany;
        QCOMPARE(int(dining.save(dining.newKey(now), QStringLiteral("再加一桌"))), int(expected));
        QCOMPARE(dining.rowCount(), room ? tables + 1 : tables);
        // Renaming a table stays possible at the limit.
        QCOMPARE(int(dining.save(keyAt(*db_, 0), QStringLiteral("改名"))),
                 int(DiningTables::SaveResult::Saved));
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
