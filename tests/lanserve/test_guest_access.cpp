// Lanserve over HTTP on 127.0.0.1: a table's code opens that table only, and every other page asks for
// the staff sign-in, which locks an address after five wrong passwords.

#include "LanserveProcess.h"

#include "bill/BillStore.h"
#include "common/TestHome.h"
#include "desk/OrderDesk.h"
#include "desk/TableMap.h"
#include "lanserve/PageTemplate.h"
#include "mobile/TableTokens.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Ids.h"

#include <QRegularExpression>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>

namespace {

using Counter = OrderDesk;

QByteArray escaped(const QString& text) {
    return HtmlEscape(text).toUtf8();
}

} // namespace

class TestGuestAccess : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void guestOrdersForOwnTableOnly();
    void guestIsRefused_data();
    void guestIsRefused();
    void codesFollowTheTableKey();
    void renewalRefusesOldCodes();
    void signInChecksPassword_data();
    void signInChecksPassword();
    void signInReturnsToThePage();
    void fiveWrongTriesLockSignIn();

private:
    int port() const { return server_->port(); }
    QString slot(int table);
    QByteArray guestUrl(const char* page, int table, const QByteArray& more = {});
    // Adds the first dish of the menu to `table` as the guest holding its code.
    RawReply guestOrder(int table);
    QString token(int table) { return tokens_.value(keys_.at(table)); }

    std::unique_ptr<TestHome> home_;
    QString folder_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<LanserveProcess> server_;
    QStringList keys_;
    QStringList names_;
    QHash<QString, QString> tokens_;
};

void TestGuestAccess::initTestCase() {
    home_ = std::make_unique<TestHome>();
    folder_ = home_->path(QStringLiteral("data"));
    db_ = PrepareDataFolder(folder_);
    SettingsStore settings(*db_);
    keys_ = settings.tableKeys();
    names_ = settings.tableList();
    tokens_ = TableTokens::EnsureTokens(*db_, keys_);
    QCOMPARE(tokens_.size(), keys_.size());
    server_ = std::make_unique<LanserveProcess>(folder_);
    QVERIFY2(server_->start(), qPrintable(server_->error()));
}

QString TestGuestAccess::slot(int table) {
    Counter reader(*db_);
    reader.tables.refreshSlots();
    return reader.tables.slotValue(table);
}

QByteArray TestGuestAccess::guestUrl(const char* page, int table, const QByteArray& more) {
    return "/phone/" + QByteArray(page) + "?t=" + token(table).toLatin1() + more;
}

RawReply TestGuestAccess::guestOrder(int table) {
    return PostForm(port(), "/phone/savemenu.asp",
                    OrderFields(token(table), names_.at(table), {{DishKeys(*db_, kDishes).at(0), "2"}}));
}

void TestGuestAccess::guestOrdersForOwnTableOnly() {
    constexpr int guestTable = 2;
    constexpr int otherTable = 3;
    // Another table has a bill with a dish of its own, ordered by staff.
    const QByteArray staff = SignIn(port());
    QVERIFY(!staff.isEmpty());
    Counter counter(*db_);
    counter.openTable(otherTable, QDateTime::currentDateTime());
    counter.menu.chooseCategory(kDrinks);
    counter.bill.addItem(counter.menu.records().at(0), QDateTime::currentDateTime());
    const QString otherDish = counter.bill.lines().at(0).name;

    const RawReply menu = Get(port(), guestUrl("menu.asp", guestTable));
    QCOMPARE(menu.status, 200);
    QVERIFY(menu.body.contains(escaped(names_.at(guestTable))));
    QVERIFY(!menu.body.contains("href=\"list.asp\""));
    QVERIFY(!menu.body.contains(escaped(names_.at(otherTable))));

    const RawReply added = guestOrder(guestTable);
    QCOMPARE(added.status, 303);
    QCOMPARE(HeaderValue(added, "Location"),
             QStringLiteral("detail.asp?t=%1&m=added").arg(token(guestTable)));
    // The guest's dish is a line like any other: kitchen mark, sort key, bill row and slot.
    const QString billId = slot(guestTable);
    QVERIFY(SlotOccupied(billId));
    const QList<OrderLine> lines = BillStore(*db_).lines(billId);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.at(0).quantity, QStringLiteral("2"));
    QCOMPARE(lines.at(0).sortKey, QStringLiteral("1000"));
    const std::optional<BillHeader> bill = BillStore(*db_).header(billId);
    QVERIFY(bill);

    const RawReply detail = Get(port(), guestUrl("detail.asp", guestTable, "&m=added"));
    QCOMPARE(detail.status, 200);
    QVERIFY(detail.body.contains(escaped(lines.at(0).name)));
    QVERIFY(detail.body.contains(escaped(bill->receivable)));
    QVERIFY(!detail.body.contains(escaped(otherDish)));
    QVERIFY(!detail.body.contains("modify.asp"));
    QVERIFY(!detail.body.contains("delete.asp"));
    QVERIFY(!detail.body.contains("list.asp"));

    // The code of one table never names another: t carries the token, not an index.
    const RawReply crossed = PostForm(
        port(), "/phone/savemenu.asp",
        OrderFields(token(guestTable), names_.at(otherTable), {{DishKeys(*db_, kDishes).at(0), "1"}}));
    QCOMPARE(crossed.status, 409);
    QCOMPARE(BillStore(*db_).lines(slot(otherTable)).size(), 1);
}

void TestGuestAccess::guestIsRefused_data() {
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<bool>("post");
    QTest::addColumn<int>("status");
    QTest::newRow("list") << QByteArray("/phone/list.asp") << false << 403;
    QTest::newRow("list with code") << QByteArray("/phone/list.asp?t=CODE") << false << 403;
    QTest::newRow("modify with code") << QByteArray("/phone/modify.asp?t=CODE&l=LINE") << false << 403;
    QTest::newRow("modify post with code")
        << QByteArray("/phone/modify.asp?t=CODE&l=LINE&qty=9") << true << 403;
    QTest::newRow("delete with code") << QByteArray("/phone/delete.asp?t=CODE&l=LINE") << true << 403;
    QTest::newRow("save with code") << QByteArray("/phone/save.asp?t=CODE&name=x") << true << 403;
    QTest::newRow("modify by index") << QByteArray("/phone/modify.asp?t=2&l=LINE") << true << 403;
    QTest::newRow("delete by index") << QByteArray("/phone/delete.asp?t=2&l=LINE") << true << 403;
    QTest::newRow("menu by index") << QByteArray("/phone/menu.asp?t=3") << false << 403;
    QTest::newRow("detail by index") << QByteArray("/phone/detail.asp?t=3") << false << 403;
    QTest::newRow("wrong code") << QByteArray("/phone/detail.asp?t=0123456789abcdef0123456789abcdef") << false
                                << 403;
    QTest::newRow("code cut short") << QByteArray("/phone/detail.asp?t=CODE!") << false << 403;
    QTest::newRow("wrong code order")
        << QByteArray("/phone/savemenu.asp?t=0123456789abcdef0123456789abcdef") << true << 403;
}

void TestGuestAccess::guestIsRefused() {
    QFETCH(QByteArray, target);
    QFETCH(bool, post);
    QFETCH(int, status);
    constexpr int guestTable = 2;
    if (!SlotOccupied(slot(guestTable)))
        QCOMPARE(guestOrder(guestTable).status, 303);
    const QString billId = slot(guestTable);
    const QList<OrderLine> before = BillStore(*db_).lines(billId);
    target.replace("CODE!", token(guestTable).left(31).toLatin1());
    target.replace("CODE", token(guestTable).toLatin1());
    target.replace("LINE", before.at(0).lineId.toLatin1());
    target.replace("b=BILL", "b=" + billId.toLatin1());

    RawReply reply;
    if (post) {
        const QUrl url(QString::fromLatin1(target));
        QList<QPair<QString, QString>> fields{{"b", billId}};
        for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
            fields.append({key, value});
        reply = PostForm(port(), url.path().toLatin1(), fields);
    } else {
        reply = Get(port(), target);
    }
    QCOMPARE(reply.status, status);
    for (int i = 0; i < names_.size(); ++i)
        if (i != guestTable)
            QVERIFY2(!reply.body.contains(escaped(names_.at(i))), qPrintable(names_.at(i)));
    const QList<OrderLine> after = BillStore(*db_).lines(billId);
    QCOMPARE(after.size(), before.size());
    QCOMPARE(after.at(0).quantity, before.at(0).quantity);
    QCOMPARE(slot(guestTable), billId);
}

void TestGuestAccess::codesFollowTheTableKey() {
    // Renaming one table and deleting another leave the remaining codes pointing at their own tables.
    constexpr int renamed = 5;
    constexpr int removed = 6;
    constexpr int kept = 7;
    {
        Statement rename(*db_, "UPDATE \"餐桌设置\" SET \"餐桌名称\" = ? WHERE \"编号\" = ?");
        rename.bind(1, QStringLiteral("露台1")).bind(2, keys_.at(renamed));
        rename.run();
        Statement remove(*db_, "DELETE FROM \"餐桌设置\" WHERE \"编号\" = ?");
        remove.bind(1, keys_.at(removed));
        remove.run();
    }
    const RawReply renamedMenu = Get(port(), guestUrl("menu.asp", renamed));
    QCOMPARE(renamedMenu.status, 200);
    QVERIFY(renamedMenu.body.contains("露台1"));
    const RawReply keptMenu = Get(port(), guestUrl("menu.asp", kept));
    QCOMPARE(keptMenu.status, 200);
    QVERIFY(keptMenu.body.contains(escaped(names_.at(kept))));
    QCOMPARE(Get(port(), guestUrl("menu.asp", removed)).status, 403);

    // Printing again keeps every remaining code and forgets the deleted table's.
    const QHash<QString, QString> again = TableTokens::EnsureTokens(*db_, SettingsStore(*db_).tableKeys());
    QCOMPARE(again.value(keys_.at(kept)), token(kept));
    QCOMPARE(again.value(keys_.at(renamed)), token(renamed));
    QVERIFY(!again.contains(keys_.at(removed)));
    QVERIFY(!TableTokens::KeyForToken(*db_, token(removed)));
}

void TestGuestAccess::renewalRefusesOldCodes() {
    constexpr int table = 1;
    const QString old = token(table);
    QCOMPARE(Get(port(), guestUrl("menu.asp", table)).status, 200);
    const QStringList keys = SettingsStore(*db_).tableKeys();
    const QHash<QString, QString> renewed = TableTokens::RenewTokens(*db_, keys);
    QCOMPARE(renewed.size(), keys.size());
    for (const QString& key : keys)
        QVERIFY(renewed.value(key) != tokens_.value(key));
    QCOMPARE(Get(port(), "/phone/menu.asp?t=" + old.toLatin1()).status, 403);
    QCOMPARE(Get(port(), "/phone/menu.asp?t=" + renewed.value(keys_.at(table)).toLatin1()).status, 200);
    tokens_ = renewed;
}

void TestGuestAccess::signInChecksPassword_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("right") << "739" << true;
    QTest::newRow("blanks around") << " 739 " << true;
    QTest::newRow("wrong") << "738" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("longer") << "7390" << false;
}

void TestGuestAccess::signInChecksPassword() {
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    const RawReply reply =
        PostForm(port(), "/phone/list.asp", {{"password", password}, {"next", "list.asp"}});
    const QString cookie = HeaderValue(reply, "Set-Cookie");
    if (!accepted) {
        QCOMPARE(reply.status, 403);
        QVERIFY(cookie.isEmpty());
        QVERIFY(reply.body.contains("密码错误"));
        QVERIFY(!reply.body.contains(escaped(names_.at(0))));
        // One right sign-in clears the count, so these wrong tries never add up to a lock.
        QVERIFY(!SignIn(port()).isEmpty());
        return;
    }
    QCOMPARE(reply.status, 303);
    QVERIFY(QRegularExpression(QStringLiteral("^cjstaff=[0-9a-f]{32}; ")).match(cookie).hasMatch());
    QVERIFY(cookie.contains(QLatin1String("HttpOnly")));
    QVERIFY(cookie.contains(QLatin1String("SameSite=Strict")));
    const QByteArray session = cookie.section(QLatin1Char(';'), 0, 0).toLatin1();
    const RawReply list = Get(port(), "/phone/list.asp", session);
    QCOMPARE(list.status, 200);
    QVERIFY(list.body.contains(escaped(names_.at(0))));
    QCOMPARE(Get(port(), "/phone/list.asp", "cjstaff=0123456789abcdef0123456789abcdef").status, 403);
}

void TestGuestAccess::signInReturnsToThePage() {
    const RawReply form = Get(port(), "/phone/detail.asp?t=4");
    QCOMPARE(form.status, 403);
    QVERIFY(form.body.contains("name=\"next\" value=\"detail.asp?t=4\""));
    const RawReply back =
        PostForm(port(), "/phone/list.asp", {{"password", "739"}, {"next", "detail.asp?t=4"}});
    QCOMPARE(back.status, 303);
    QCOMPARE(HeaderValue(back, "Location"), QStringLiteral("detail.asp?t=4"));
    const RawReply elsewhere =
        PostForm(port(), "/phone/list.asp", {{"password", "739"}, {"next", "//example.invalid/x"}});
    QCOMPARE(HeaderValue(elsewhere, "Location"), QStringLiteral("list.asp"));
}

void TestGuestAccess::fiveWrongTriesLockSignIn() {
    for (int i = 1; i < 5; ++i)
        QCOMPARE(PostForm(port(), "/phone/list.asp", {{"password", "wrong"}}).status, 403);
    const RawReply fifth = PostForm(port(), "/phone/list.asp", {{"password", "wrong"}});
    QCOMPARE(fifth.status, 429);
    QVERIFY(fifth.body.contains("一分钟"));
    // Locked: the right password is refused too, and no session is given.
    const RawReply right = PostForm(port(), "/phone/list.asp", {{"password", "739"}});
    QCOMPARE(right.status, 429);
    QVERIFY(HeaderValue(right, "Set-Cookie").isEmpty());
    // Guests are not locked out.
    QCOMPARE(Get(port(), guestUrl("menu.asp", 0)).status, 200);
}

QTEST_GUILESS_MAIN(TestGuestAccess)
#include "test_guest_access.moc"
