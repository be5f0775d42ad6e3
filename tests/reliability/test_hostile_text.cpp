#include "common/TestHome.h"

#include "main/History.h"
#include "main/TableMap.h"
#include "order/OrderSession.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
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
        SettingsStore settings(*db);
        TableMap tables(*db, settings);
        OrderSession session(*db, tables);
        session.open(tables.openTable(3, QDateTime(QDate(2024, 12, 12), QTime(12, 0))));
        session.chooseCategory(QStringLiteral("菜品"));
        session.addItem(0, QDateTime(QDate(2024, 12, 12), QTime(12, 0, 1)));
        const QByteArray before = otherRows(*db, session.billId);

        // Customer fields: stored exactly as typed, or refused as a whole with a message.
        session.name = text;
        session.phone = text;
        session.remark = text;
        bool refused = false;
        try {
            session.save();
        } catch (const StoreError& error) {
            refused = true;
            QVERIFY(error.text().contains(QStringLiteral("太长")));
        }
        QCOMPARE(refused, !fitsFifty);
        Statement bill(*db, "SELECT \"姓名\", \"电话\", \"备注\" FROM \"桌台\" WHERE \"id\" = ?");
        bill.bind(1, session.billId);
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
            QCOMPARE(LoadOrderLines(*db, session.billId).at(0).remark, text);
        } catch (const StoreError&) {
            QVERIFY(!fitsFifty);
        }
        try {
            session.setQuantity(0, text);
        } catch (const StoreError&) {
        }
        QCOMPARE(LoadOrderLines(*db, session.billId).at(0).quantity, session.lines().at(0).quantity);

        // Searches take it literally and find nothing they should not.
        session.search(text);
        QVERIFY(session.menu().size() <= 4);
        const auto found =
            RunHistoryQuery(*db, {HistoryQuery::Kind::Closed, text, QDate(2000, 1, 1), QDate(2030, 1, 1)});
        QVERIFY(found.size() <= 1);

        QCOMPARE(otherRows(*db, session.billId), before);
    }
};

QTEST_GUILESS_MAIN(HostileTextTest)
#include "test_hostile_text.moc"
