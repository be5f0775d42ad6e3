// Ordering from a phone through Lanserve on 127.0.0.1: the cart across categories, the 下单 sheet, each
// order taken once under its one-time key, the guests' limits and the waiter's 确认.

#include "LanserveProcess.h"

#include "bill/BillStore.h"
#include "bill/KitchenLedger.h"
#include "bill/PendingOrders.h"
#include "bill/WaiterCalls.h"
#include "common/TestHome.h"
#include "desk/OrderDesk.h"
#include "lanserve/PageTemplate.h"
#include "menu/DishGroups.h"
#include "menu/MenuCatalogue.h"
#include "menu/SoldOutDishes.h"
#include "mobile/TableTokens.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Ids.h"
#include "store/NumberText.h"
#include "store/Settings.h"
#include "store/StoreError.h"

#include <QImage>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QUrl>
#include <future>

namespace {

QByteArray escaped(const QString& text) {
    return HtmlEscape(text).toUtf8();
}

QString location(const RawReply& reply) {
    return HeaderValue(reply, "Location");
}

} // namespace

class TestPhoneOrders : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void anOrderIsTakenOnceUnderItsKey();
    void theSheetShowsWhatWillBeSent();
    void choicesSurviveCategoriesSearchAndSteps();
    void guestsStayWithinTheLimits();
    void unreadableQuantitiesRefuseTheWholeOrder();
    void guestsSeeNoContactDetails();
    void guestOrdersWaitForAWaiter();
    void guestsSeeWhereEachDishStandsAndCallAWaiter();
    void soldOutDishesCannotBeOrdered();
    void dishesAreListedUnderTheirGroups();
    void dishPicturesShowOnTheMenu();
    void unreadableTextIsRefusedNamingTheField();

private:
    int port() const { return server_->port(); }
    QString slot(int table);
    QList<OrderLine> lines(int table) { return BillStore(*db_).lines(slot(table)); }
    QString token(int table) { return tokens_.value(keys_.at(table)); }
    RawReply asStaff(const QByteArray& target, const FormFields& fields) {
        return PostForm(port(), target, fields, staff_);
    }

    std::unique_ptr<TestHome> home_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<LanserveProcess> server_;
    QByteArray staff_;
    QStringList keys_;
    QStringList names_;
    QHash<QString, QString> tokens_;
    QStringList dishes_;
    QStringList drinks_;
};

void TestPhoneOrders::initTestCase() {
    home_ = std::make_unique<TestHome>();
    const QString folder = home_->path(QStringLiteral("data"));
    db_ = PrepareDataFolder(folder);
    SettingsStore settings(*db_);
    keys_ = settings.tableKeys();
    names_ = settings.tableList();
    tokens_ = TableTokens::EnsureTokens(*db_, keys_);
    dishes_ = DishKeys(*db_, kDishes);
    drinks_ = DishKeys(*db_, kDrinks);
    QVERIFY(dishes_.size() >= 4 && drinks_.size() >= 2);
    server_ = std::make_unique<LanserveProcess>(folder);
    QVERIFY2(server_->start(), qPrintable(server_->error()));
    staff_ = SignIn(port());
    QVERIFY(!staff_.isEmpty());
}

void TestPhoneOrders::cleanup() {
    WriteGuestLimits(*db_, GuestLimits{});
}

QString TestPhoneOrders::slot(int table) {
    OrderDesk reader(*db_);
    reader.tables.refreshSlots();
    return reader.tables.slotValue(table);
}

void TestPhoneOrders::anOrderIsTakenOnceUnderItsKey() {
    constexpr int table = 1;
    FormFields order =
        OrderFields(QString::number(table), names_.at(table), {{dishes_.at(0), "2"}, {drinks_.at(1), "1.5"}});
    order.append({QLatin1Char('r') + dishes_.at(0), QStringLiteral("少辣")});
    // A double tap: the same order twice at once.
    auto first = std::async(std::launch::async, [&] { return asStaff("/phone/savemenu.asp", order); });
    auto second = std::async(std::launch::async, [&] { return asStaff("/phone/savemenu.asp", order); });
    const QStringList answers{location(first.get()), location(second.get())};
    QVERIFY2(answers.contains(QStringLiteral("detail.asp?t=1&m=added")), qPrintable(answers.join(' ')));
    QVERIFY2(answers.contains(QStringLiteral("detail.asp?t=1&m=again.added")), qPrintable(answers.join(' ')));
    QList<OrderLine> placed = lines(table);
    QCOMPARE(placed.size(), 2);
    QCOMPARE(placed.at(0).quantity, QStringLiteral("2"));
    QCOMPARE(placed.at(0).remark, QStringLiteral("少辣"));
    QCOMPARE(placed.at(1).category, kDrinks);
    QCOMPARE(placed.at(1).quantity, QStringLiteral("1.5"));

    // Back and send again, a while later: the first answer, and the bill as it was.
    QThread::sleep(5);
    const RawReply again = asStaff("/phone/savemenu.asp", order);
    QCOMPARE(again.status, 303);
    QCOMPARE(location(again), QStringLiteral("detail.asp?t=1&m=again.added"));
    QCOMPARE(lines(table).size(), 2);
    const RawReply shown = Get(port(), "/phone/" + location(again).toLatin1(), staff_);
    QVERIFY(shown.body.contains(escaped(QStringLiteral("这单已经下过了"))));

    // Every menu page hands out a key of its own, even when the page itself comes from the cache.
    static const QRegularExpression keyField(QStringLiteral("name=\"k\" value=\"([0-9a-f]{32})\""));
    const QString key1 =
        keyField.match(QString::fromUtf8(Get(port(), "/phone/menu.asp?t=1", staff_).body)).captured(1);
    const QString key2 =
        keyField.match(QString::fromUtf8(Get(port(), "/phone/menu.asp?t=1", staff_).body)).captured(1);
    QVERIFY(!key1.isEmpty() && !key2.isEmpty());
    QVERIFY(key1 != key2);
}

void TestPhoneOrders::theSheetShowsWhatWillBeSent() {
    constexpr int table = 2;
    FormFields order =
        OrderFields(QString::number(table), names_.at(table), {{dishes_.at(1), "2"}, {drinks_.at(0), "3"}});
    order.removeIf([](const auto& field) { return field.first == QLatin1String("go"); });
    const QStringList before = SnapshotOf(*db_);
    const RawReply sheet = asStaff("/phone/savemenu.asp", order);
    QCOMPARE(sheet.status, 200);
    const OrderDesk reader(*db_);
    const MenuCatalogue menu(*db_);
    const MenuItem dish = *menu.item(dishes_.at(1));
    const MenuItem drink = *menu.item(drinks_.at(0));
    QVERIFY(sheet.body.contains(escaped(dish.name)));
    QVERIFY(sheet.body.contains(escaped(drink.name)));
    const double total = 2 * ReadNumber(dish.price) + 3 * ReadNumber(drink.price);
    QVERIFY(sheet.body.contains("id=\"newTotal\">￥" + NumberText(total).toUtf8()));
    QVERIFY(sheet.body.contains("name=\"r" + dishes_.at(1).toUtf8() + "\""));
    QVERIFY(sheet.body.contains("id=\"placeOrder\""));
    // Showing the sheet changes nothing.
    QCOMPARE(SnapshotOf(*db_), before);
}

void TestPhoneOrders::choicesSurviveCategoriesSearchAndSteps() {
    // Without JavaScript, + posts the form back to the menu: one more of the drink, the dish still chosen,
    // both in the cart, whatever the search shows.
    const RawReply page = asStaff("/phone/menu.asp", {{"t", "3"},
                                                      {"c", "1"},
                                                      {"s", "kl"},
                                                      {QLatin1Char('q') + dishes_.at(0), "2"},
                                                      {"step", QLatin1Char('+') + drinks_.at(1)}});
    QCOMPARE(page.status, 200);
    const QByteArray html = page.body;
    QVERIFY2(html.contains("name=\"q" + drinks_.at(1).toUtf8() + "\" value=\"1\""), html.constData());
    QVERIFY(html.contains("type=\"hidden\" name=\"q" + dishes_.at(0).toUtf8() + "\" value=\"2\""));
    QVERIFY(html.contains("id=\"cartCount\">2<"));
    // The search covers every category: from the dishes, "kl" finds 可乐.
    const RawReply found = Get(port(), "/phone/menu.asp?t=3&c=0&s=kl", staff_);
    QVERIFY(found.body.contains(escaped(QStringLiteral("可乐"))));
    QVERIFY(!found.body.contains(escaped(QStringLiteral("宫保鸡丁"))));
}

void TestPhoneOrders::guestsStayWithinTheLimits() {
    constexpr int table = 4;
    WriteGuestLimits(*db_, {3, 5, false});
    const QStringList before = SnapshotOf(*db_);
    const auto guestOrder = [&](const FormFields& dishes) {
        return PostForm(port(), "/phone/savemenu.asp", OrderFields(token(table), names_.at(table), dishes));
    };
    const RawReply tooMuchOfOne = guestOrder({{dishes_.at(0), "4"}});
    QCOMPARE(tooMuchOfOne.status, 400);
    QVERIFY(tooMuchOfOne.body.contains(escaped(QStringLiteral("每道菜最多点 3"))));
    QVERIFY(!tooMuchOfOne.body.contains("id=\"placeOrder\""));
    const RawReply tooMuchInAll = guestOrder({{dishes_.at(0), "3"}, {drinks_.at(0), "3"}});
    QCOMPARE(tooMuchInAll.status, 400);
    QVERIFY(tooMuchInAll.body.contains(escaped(QStringLiteral("一单最多点 5 份，这一单共 6 份"))));
    QCOMPARE(SnapshotOf(*db_), before);
    QCOMPARE(location(guestOrder({{dishes_.at(0), "3"}, {drinks_.at(0), "2"}})),
             QStringLiteral("detail.asp?t=%1&m=added").arg(token(table)));
    // Staff are not held to the guests' limits.
    const RawReply staffOrder =
        asStaff("/phone/savemenu.asp",
                OrderFields(QString::number(table), names_.at(table), {{dishes_.at(0), "30"}}));
    QCOMPARE(staffOrder.status, 303);
    QCOMPARE(lines(table).size(), 3);
}

void TestPhoneOrders::unreadableQuantitiesRefuseTheWholeOrder() {
    constexpr int table = 5;
    const QStringList before = SnapshotOf(*db_);
    for (const char* wrong : {"abc", "NaN", "0x10", "-1", "1e3"}) {
        const RawReply refused =
            asStaff("/phone/savemenu.asp",
                    OrderFields(QString::number(table), names_.at(table),
                                {{dishes_.at(0), "1"}, {dishes_.at(2), QString::fromLatin1(wrong)}}));
        QCOMPARE(refused.status, 400);
        QVERIFY2(refused.body.contains(
                     escaped(QStringLiteral("“麻婆豆腐”的数量“%1”不对").arg(QLatin1String(wrong)))),
                 wrong);
    }
    QCOMPARE(SnapshotOf(*db_), before);
}

void TestPhoneOrders::guestsSeeNoContactDetails() {
    constexpr int table = 6;
    QCOMPARE(asStaff("/phone/savemenu.asp",
                     OrderFields(QString::number(table), names_.at(table), {{dishes_.at(0), "1"}}))
                 .status,
             303);
    const RawReply saved = asStaff("/phone/save.asp", {{"t", QString::number(table)},
                                                       {"b", slot(table)},
                                                       {"name", "王先生"},
                                                       {"phone", "13912345678"},
                                                       {"remark", "会员生日"}});
    QCOMPARE(saved.status, 303);
    const QByteArray forStaff = Get(port(), "/phone/detail.asp?t=6", staff_).body;
    QVERIFY(forStaff.contains("13912345678"));
    for (const char* target : {"/phone/detail.asp?t=", "/phone/menu.asp?t="}) {
        const QByteArray forGuest = Get(port(), QByteArray(target) + token(table).toLatin1()).body;
        QVERIFY(forGuest.contains(escaped(names_.at(table))));
        for (const QString& contact :
             {QStringLiteral("王先生"), QStringLiteral("13912345678"), QStringLiteral("会员生日")})
            QVERIFY2(!forGuest.contains(escaped(contact)), qPrintable(contact));
    }
}

void TestPhoneOrders::guestOrdersWaitForAWaiter() {
    constexpr int table = 7;
    WriteGuestLimits(*db_, {20, 100, true});
    const auto guestOrder = [&](const QString& quantity) {
        return PostForm(port(), "/phone/savemenu.asp",
                        OrderFields(token(table), names_.at(table), {{dishes_.at(3), quantity}}));
    };
    QCOMPARE(location(guestOrder("2")), QStringLiteral("detail.asp?t=%1&m=pending").arg(token(table)));
    QVERIFY(!SlotOccupied(slot(table)));
    QList<PendingOrder> waiting = PendingOrders(*db_).waiting();
    QCOMPARE(waiting.size(), 1);
    QCOMPARE(waiting.at(0).tableName, names_.at(table));
    const QByteArray guestPage = Get(port(), "/phone/detail.asp?t=" + token(table).toLatin1()).body;
    QVERIFY(guestPage.contains(escaped(kPendingWaiting)));

    // 确认 at the counter: the order becomes the bill's lines, once.
    OrderDesk counter(*db_);
    counter.confirmGuestOrder(waiting.at(0).id, QDateTime::currentDateTime());
    QCOMPARE(lines(table).size(), 1);
    QCOMPARE(lines(table).at(0).quantity, QStringLiteral("2"));
    QVERIFY_THROWS_EXCEPTION(StoreError,
                             counter.confirmGuestOrder(waiting.at(0).id, QDateTime::currentDateTime()));
    QCOMPARE(lines(table).size(), 1);

    // 拒绝: the guest's page says so and why; the bill is untouched.
    QCOMPARE(guestOrder("1").status, 303);
    waiting = PendingOrders(*db_).waiting();
    QCOMPARE(waiting.size(), 1);
    counter.refuseGuestOrder(waiting.at(0).id, QStringLiteral("鲈鱼已售完"));
    QVERIFY(PendingOrders(*db_).waiting().isEmpty());
    QCOMPARE(lines(table).size(), 1);
    const QByteArray refusedPage = Get(port(), "/phone/detail.asp?t=" + token(table).toLatin1()).body;
    QVERIFY(refusedPage.contains(escaped(kPendingRefused)));
    QVERIFY(refusedPage.contains(escaped(QStringLiteral("鲈鱼已售完"))));
}

void TestPhoneOrders::guestsSeeWhereEachDishStandsAndCallAWaiter() {
    constexpr int table = 8;
    QCOMPARE(PostForm(port(), "/phone/savemenu.asp",
                      OrderFields(token(table), names_.at(table),
                                  {{dishes_.at(0), "1"}, {dishes_.at(1), "1"}, {dishes_.at(2), "1"}}))
                 .status,
             303);
    const QString billId = slot(table);
    const QList<OrderLine> placed = lines(table);
    QCOMPARE(placed.size(), 3);
    KitchenLedger(*db_).record(billId, placed.at(1).lineId, QStringLiteral("厨房"), QStringLiteral("1"), 1,
                               QStringLiteral("1"), QDateTime::currentDateTime());
    OrderDesk counter(*db_);
    counter.openTable(table, QDateTime::currentDateTime());
    counter.bill.toggleServed(2);
    const QByteArray guestDetail = "/phone/detail.asp?t=" + token(table).toLatin1();
    static const QRegularExpression status(QStringLiteral("class=\"muted status\">([^<]*)<"));
    QStringList shown;
    for (auto match = status.globalMatch(QString::fromUtf8(Get(port(), guestDetail).body)); match.hasNext();)
        shown.append(match.next().captured(1));
    QCOMPARE(shown, (QStringList{"已下单", "已送厨", "已上菜"}));

    // 呼叫服务员: one call while it waits, however often it is tapped, until the counter answers it.
    for (int tap = 0; tap < 3; ++tap)
        QCOMPARE(location(PostForm(port(), "/phone/detail.asp", {{"t", token(table)}, {"call", "1"}})),
                 QStringLiteral("detail.asp?t=%1&m=called").arg(token(table)));
    const QList<WaiterCall> calls = WaiterCalls(*db_).waiting();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0).tableName, names_.at(table));
    QVERIFY(Get(port(), guestDetail).body.contains(escaped(QStringLiteral("已呼叫服务员，请稍候"))));
    WaiterCalls(*db_).answerAll();
    QVERIFY(WaiterCalls(*db_).waiting().isEmpty());
    QVERIFY(!Get(port(), guestDetail).body.contains(escaped(QStringLiteral("已呼叫服务员"))));
    // Staff do not call themselves.
    QCOMPARE(asStaff("/phone/detail.asp", {{"t", QString::number(table)}, {"call", "1"}}).status, 200);
    QVERIFY(WaiterCalls(*db_).waiting().isEmpty());
}

void TestPhoneOrders::soldOutDishesCannotBeOrdered() {
    constexpr int table = 9;
    QVERIFY(SoldOutDishes(*db_).set(dishes_.at(3), true));
    const auto restore = qScopeGuard([&] { SoldOutDishes(*db_).set(dishes_.at(3), false); });
    const QByteArray menu = Get(port(), "/phone/menu.asp?t=" + token(table).toLatin1()).body;
    QVERIFY(menu.contains(escaped(QStringLiteral("已售完"))));
    QVERIFY(!menu.contains("name=\"q" + dishes_.at(3).toUtf8() + "\""));
    const QStringList before = SnapshotOf(*db_);
    const RawReply refused =
        asStaff("/phone/savemenu.asp", OrderFields(QString::number(table), names_.at(table),
                                                   {{dishes_.at(0), "1"}, {dishes_.at(3), "1"}}));
    QCOMPARE(refused.status, 400);
    QVERIFY(refused.body.contains(escaped(QStringLiteral("“清蒸鲈鱼”已售完"))));
    QCOMPARE(SnapshotOf(*db_), before);
}

void TestPhoneOrders::dishesAreListedUnderTheirGroups() {
    DishGroups groups(*db_);
    groups.set(dishes_.at(2), QStringLiteral("凉菜"));
    groups.set(dishes_.at(0), QStringLiteral("热菜"));
    groups.set(dishes_.at(3), QStringLiteral("热菜"));
    const auto restore = qScopeGuard([&] {
        for (const QString& dish : dishes_)
            DishGroups(*db_).set(dish, {});
    });
    QCOMPARE(groups.ofCategory(kDishes), (QStringList{"热菜", "凉菜"}));
    QCOMPARE(MenuCatalogue(*db_).item(dishes_.at(2))->group, QStringLiteral("凉菜"));
    const QString page = QString::fromUtf8(Get(port(), "/phone/menu.asp?t=" + token(1).toLatin1()).body);
    // The groups come in the order of their first dish, after the dishes without one.
    QVERIFY(page.contains(
        QStringLiteral("<nav class=\"index\"><a href=\"#g0_1\">热菜</a><a href=\"#g0_2\">凉菜</a></nav>")));
    QStringList order;
    static const QRegularExpression marks(QStringLiteral("<h3 id=\"g0_\\d\">([^<]+)</h3>|name=\"q(\\d+)\""));
    for (auto match = marks.globalMatch(page); match.hasNext();) {
        const QRegularExpressionMatch next = match.next();
        order.append(next.captured(1).isEmpty() ? next.captured(2) : next.captured(1));
    }
    QCOMPARE(order.mid(0, 6),
             (QStringList{dishes_.at(1), "热菜", dishes_.at(0), dishes_.at(3), "凉菜", dishes_.at(2)}));
}

// The menu links each picture by an address that answers with the JPEG, for staff and for a guest alike;
// a dish without one links none, and its address answers 404.
void TestPhoneOrders::dishPicturesShowOnTheMenu() {
    constexpr int table = 8;
    const QString pictured = dishes_.at(2);
    MenuCatalogue menu(*db_);
    const MenuItem dish = *menu.item(pictured);
    DishEntry entry{dish.name, dish.quantity, dish.unit, dish.price, dish.initials, dish.remark};
    entry.description = QStringLiteral("川味<家常>，微辣");
    menu.save(pictured, dish.category, entry);
    QImage photo(120, 90, QImage::Format_RGB32);
    photo.fill(Qt::darkGreen);
    const QString photoPath = home_->path(QStringLiteral("dish.png"));
    QVERIFY(photo.save(photoPath));
    menu.setPicture(pictured, DishPictureFromFile(photoPath));
    const QByteArray jpeg = menu.picture(pictured)->jpeg;

    static const QRegularExpression image(QStringLiteral("<img [^>]*src=\"([^\"]+)\""));
    const auto pictureAddresses = [&](const QByteArray& target, const QByteArray& cookie) {
        const RawReply page = Get(port(), target, cookie);
        QStringList addresses;
        for (const auto& match : image.globalMatch(QString::fromUtf8(page.body)))
            addresses.append(match.captured(1).replace(QStringLiteral("&amp;"), QStringLiteral("&")));
        return std::pair{page.body, addresses};
    };
    const auto [staffPage, forStaff] = pictureAddresses("/phone/menu.asp?t=8", staff_);
    QVERIFY(staffPage.contains(escaped(entry.description)));
    QCOMPARE(forStaff.size(), 1);
    const auto [guestPage, forGuest] = pictureAddresses("/phone/menu.asp?t=" + token(table).toLatin1(), {});
    QCOMPARE(forGuest.size(), 1);
    for (const auto& [address, cookie] :
         {std::pair{forStaff.at(0), staff_}, std::pair{forGuest.at(0), QByteArray()}}) {
        const RawReply reply = Get(port(), "/phone/" + address.toLatin1(), cookie);
        QCOMPARE(reply.status, 200);
        QCOMPARE(HeaderValue(reply, "Content-Type"), QStringLiteral("image/jpeg"));
        QVERIFY(HeaderValue(reply, "Cache-Control").contains(QStringLiteral("immutable")));
        QCOMPARE(reply.body, jpeg);
    }
    QCOMPARE(Get(port(), "/phone/" + forStaff.at(0).toLatin1()).status, 403);
    const QByteArray unknown =
        "/phone/dish.jpg?k=" + dishes_.at(3).toLatin1() + "&t=" + token(table).toLatin1();
    QCOMPARE(Get(port(), unknown).status, 404);
}

// Text in another encoding (GBK "中文") or broken bytes: refused, naming the field, and nothing stored.
void TestPhoneOrders::unreadableTextIsRefusedNamingTheField() {
    constexpr int table = 10;
    QVERIFY(names_.size() > table);
    QCOMPARE(asStaff("/phone/savemenu.asp",
                     OrderFields(QString::number(table), names_.at(table), {{dishes_.at(0), "1"}}))
                 .status,
             303);
    const QStringList before = SnapshotOf(*db_);
    const auto post = [&](const QByteArray& target, const QByteArray& body) {
        return SendRaw(port(), "POST " + target +
                                   " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nCookie: " + staff_ +
                                   "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                   QByteArray::number(body.size()) + "\r\n\r\n" + body);
    };
    const QByteArray header =
        "t=" + QByteArray::number(table) + "&b=" + slot(table).toLatin1() + "&name=&phone=";
    const RawReply remark = post("/phone/save.asp", header + "&remark=%D6%D0%CE%C4");
    QCOMPARE(remark.status, 400);
    QVERIFY(remark.body.contains(escaped(QStringLiteral("“备注”里有无法识别的文字"))));
    const RawReply name = post("/phone/save.asp", header + "&remark=ok&name=%FF%FE");
    QCOMPARE(name.status, 400);
    QVERIFY(name.body.contains(escaped(QStringLiteral("“姓名”"))));
    const FormFields order = OrderFields(QString::number(table), names_.at(table), {{dishes_.at(1), "1"}});
    const RawReply dish =
        post("/phone/savemenu.asp", FormBody(order) + "&r" + dishes_.at(1).toLatin1() + "=%C0%B1");
    QCOMPARE(dish.status, 400);
    QVERIFY(dish.body.contains(escaped(QStringLiteral("“菜品备注”"))));
    QCOMPARE(SnapshotOf(*db_), before);
    // Chinese sent as UTF-8 is stored as sent.
    QCOMPARE(
        post("/phone/save.asp", header + "&remark=" + QUrl::toPercentEncoding(QStringLiteral("中文"))).status,
        303);
    QCOMPARE(BillStore(*db_).header(slot(table))->remark, QStringLiteral("中文"));
}

QTEST_GUILESS_MAIN(TestPhoneOrders)
#include "test_phone_orders.moc"
