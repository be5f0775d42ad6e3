#include "common/TestHome.h"

#include "bill/BillStore.h"
#include "desk/History.h"
#include "desk/OrderDesk.h"
#include "desk/TableMap.h"
#include "menu/MenuCatalogue.h"
#include "settings/DiningTables.h"
#include "settings/Password.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Schema.h"
#include "store/Settings.h"

#include <QCryptographicHash>
#include <QTest>

namespace {

// Every row of every table except the bill under test, as one fingerprint.
QByteArray otherRows(Database& db, const QString& billId) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    // The settings row, less the slot of table 3 whose bill is under test.
    const std::optional<SettingsRow> settings = ReadSettingsRow(db);
    hash.addData((settings->restaurantName + settings->password + settings->leftMargin).toUtf8());
    QStringList slots = ReadSlots(db, 51);
    slots.removeAt(3);
    hash.addData(slots.join(QLatin1Char('|')).toUtf8());
    for (const char* sql :
         {"SELECT * FROM \"餐桌设置\" ORDER BY rowid", "SELECT * FROM \"菜单\" ORDER BY rowid"}) {
        Statement query(db, sql);
        while (query.next())
            for (int c = 0; c < query.columnCount(); ++c)
                hash.addData(query.text(c).toUtf8() + '\x1f');
    }
    Statement bills(db, "SELECT * FROM \"桌台\" WHERE \"id\" <> ? ORDER BY rowid");
    bills.bind(1, billId);
    while (bills.next())
        for (int c = 0; c < bills.columnCount(); ++c)
            hash.addData(bills.text(c).toUtf8() + '\x1f');
    return hash.result();
}

// All rows of one table, to show which rows a write touched.
QStringList rowsOf(Database& db, const char* table) {
    const QByteArray sql = QByteArray("SELECT * FROM \"") + table + "\" ORDER BY rowid";
    Statement query(db, sql.constData());
    QStringList rows;
    while (query.next()) {
        QStringList values;
        for (int c = 0; c < query.columnCount(); ++c)
            values.append(query.text(c));
        rows.append(values.join(QLatin1Char('\x1f')));
    }
    return rows;
}

struct AllRows {
    QStringList settings, tables, menu, bills, lines;
    explicit AllRows(Database& db)
        : settings(rowsOf(db, "综合设置")), tables(rowsOf(db, "餐桌设置")), menu(rowsOf(db, "菜单")),
          bills(rowsOf(db, "桌台")), lines(rowsOf(db, "明细")) {}
};

// Runs a write that either stores the text or refuses it as too long; true when it stored.
bool storedOrRefusedAsTooLong(const std::function<void()>& write) {
    try {
        write();
        return true;
    } catch (const StoreError& error) {
        if (!error.text().contains(QStringLiteral("太长")))
            qWarning("unexpected refusal: %s", qPrintable(error.text()));
        return false;
    }
}

const QString kEmoji = QString::fromUcs4(U"\U0001F35C\U0001F600");

} // namespace

class HostileTextTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void textsAreStoredExactlyOrRefused_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("fitsFifty");
        QTest::newRow("quotes") << QStringLiteral("O'Brien \"老王\" `x`; --") << true;
        QTest::newRow("like wildcards") << QStringLiteral("100%_满意\\") << true;
        QTest::newRow("markup") << QStringLiteral("<script>alert(1)</script>") << true;
        QTest::newRow("emoji") << kEmoji << true;
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("at sign") << QStringLiteral("a@b@c") << true;
        QTest::newRow("2000 characters") << QString(2000, QChar(0x5B57)) << false;
    }
    void textsAreStoredExactlyOrRefused() {
        QFETCH(QString, text);
        QFETCH(bool, fitsFifty);
        TestHome home;
        auto db = home.createDatabase();
        // Another bill that must never change.
        db->exec("INSERT INTO \"桌台\" (\"id\", \"日期\", \"桌号\", \"姓名\", \"退桌状态\", \"应收\") "
                 "VALUES ('20240101120000', '2024-01-01', '大厅001', '张三', 'yes', '10')");
        OrderDesk desk(*db);
        BillDocument& session = desk.bill;
        desk.openTable(3, QDateTime(QDate(2024, 12, 12), QTime(12, 0)));
        desk.menu.chooseCategory(QStringLiteral("菜品"));
        session.addItem(desk.menu.records().at(0), QDateTime(QDate(2024, 12, 12), QTime(12, 0, 1)));
        const QByteArray before = otherRows(*db, session.billId());

        // Customer fields: stored exactly as typed, or refused as a whole with a message.
        session.setCustomerName(text);
        session.setPhone(text);
        session.setBillRemark(text);
        bool refused = false;
        try {
            session.save();
        } catch (const StoreError& error) {
            refused = true;
            QVERIFY(error.text().contains(QStringLiteral("太长")));
        }
        QCOMPARE(refused, !fitsFifty);
        Statement bill(*db, "SELECT \"姓名\", \"电话\", \"备注\" FROM \"桌台\" WHERE \"id\" = ?");
        bill.bind(1, session.billId());
        QVERIFY(bill.next());
        if (fitsFifty) {
            QCOMPARE(bill.text(0), text);
            QCOMPARE(bill.text(2), text);
        } else {
            QVERIFY(bill.text(0).isEmpty());
        }

        // A line's remark (200 characters) and quantity (10) take the same text.
        try {
            session.setRemark(0, text);
            QVERIFY(fitsFifty);
            QCOMPARE(BillStore(*db).lines(session.billId()).at(0).remark, text);
        } catch (const StoreError&) {
            QVERIFY(!fitsFifty);
        }
        try {
            session.setQuantity(0, text);
        } catch (const StoreError&) {
        }
        QCOMPARE(BillStore(*db).lines(session.billId()).at(0).quantity, session.lines().at(0).quantity);

        // Searches take it literally and find nothing they should not.
        desk.menu.search(text);
        QVERIFY(desk.menu.records().size() <= 4);
        const auto found =
            RunHistoryQuery(*db, {HistoryQuery::Kind::Closed, text, QDate(2000, 1, 1), QDate(2030, 1, 1)});
        QVERIFY(found.size() <= 1);

        QCOMPARE(otherRows(*db, session.billId()), before);
    }

    // The menu dialog, the table dialog and the settings window take the same texts: each write stores
    // exactly what was typed in its own row, or is refused as a whole with a message, and no other table
    // changes.
    void menuAndSettingsFieldsStoreExactlyOrRefuse_data() { textsAreStoredExactlyOrRefused_data(); }
    void menuAndSettingsFieldsStoreExactlyOrRefuse() {
        QFETCH(QString, text);
        QFETCH(bool, fitsFifty);
        TestHome home;
        auto db = home.createDatabase();
        const QDateTime now(QDate(2024, 12, 12), QTime(12, 0));

        const AllRows beforeMenu(*db);
        MenuCatalogue menu(*db);
        const QString dishKey = menu.newKey(now);
        const bool dishStored = storedOrRefusedAsTooLong([&] {
            menu.save(dishKey, QStringLiteral("菜品"),
                      {text, QStringLiteral("1"), text, QStringLiteral("5"), text, text});
        });
        // Short texts fit every box; longer ones may pass a narrow column (unit, initials) and be refused.
        if (text.size() <= 5)
            QVERIFY(dishStored);
        if (!fitsFifty)
            QVERIFY(!dishStored);
        const AllRows afterMenu(*db);
        QCOMPARE(afterMenu.menu.size(), beforeMenu.menu.size() + (dishStored ? 1 : 0));
        QCOMPARE(afterMenu.settings, beforeMenu.settings);
        QCOMPARE(afterMenu.tables, beforeMenu.tables);
        if (dishStored) {
            const QList<MenuItem> found = menu.search(QStringLiteral("菜品"), text);
            const auto added = std::find_if(found.begin(), found.end(),
                                            [&](const MenuItem& item) { return item.key == dishKey; });
            QVERIFY(added != found.end());
            QCOMPARE(added->name, text);
            QCOMPARE(added->unit, text);
            QCOMPARE(added->remark, text);
        }

        DiningTables tables(*db);
        const int tablesBefore = tables.rowCount();
        DiningTables::SaveResult tableResult = DiningTables::SaveResult::Saved;
        const bool tableStored =
            storedOrRefusedAsTooLong([&] { tableResult = tables.save(tables.newKey(now), text); });
        if (text.isEmpty())
            QCOMPARE(tableResult, DiningTables::SaveResult::NameMissing);
        QCOMPARE(tables.rowCount(), tablesBefore + (tableStored && !text.isEmpty() ? 1 : 0));
        const AllRows afterTables(*db);
        if (tableStored && !text.isEmpty())
            QVERIFY(afterTables.tables.last().split(QLatin1Char('\x1f')).contains(text));
        QCOMPARE(afterTables.menu, afterMenu.menu);
        QCOMPARE(afterTables.settings, afterMenu.settings);

        SettingsStore settings(*db);
        settings.setRestaurantName(text);
        settings.setAddress(text);
        settings.setPhone(text);
        const bool detailsStored = storedOrRefusedAsTooLong([&] { settings.saveDetails(); });
        settings.discard();
        if (detailsStored) {
            QCOMPARE(settings.restaurantName(), text);
            QCOMPARE(settings.address(), text);
        } else {
            QCOMPARE(settings.restaurantName(), ReadSettingsRow(*db)->restaurantName);
            QVERIFY(settings.restaurantName() != text);
        }

        PasswordChange change = PasswordChange::NewMissing;
        const bool passwordStored = storedOrRefusedAsTooLong(
            [&] { change = ChangePassword(*db, kFirstStaffId, QStringLiteral("739"), text); });
        if (passwordStored && change == PasswordChange::Changed)
            QVERIFY(StaffPasswordMatches(*db, kFirstStaffId, text));
        else
            QVERIFY(StaffPasswordMatches(*db, kFirstStaffId, QStringLiteral("739")));
        if (text.isEmpty())
            QCOMPARE(change, PasswordChange::NewMissing);

        const AllRows atEnd(*db);
        QCOMPARE(atEnd.menu, afterTables.menu);
        QCOMPARE(atEnd.tables, afterTables.tables);
        QCOMPARE(atEnd.bills, beforeMenu.bills);
        QCOMPARE(atEnd.lines, beforeMenu.lines);
    }
};

QTEST_GUILESS_MAIN(HostileTextTest)
#include "test_hostile_text.moc"
