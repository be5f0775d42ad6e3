#include "common/MessageBoxes.h"
#include "common/SignedInCounter.h"
#include "common/TestHome.h"

#include "bill/PendingOrders.h"
#include "bill/PhoneOrderKeys.h"
#include "desk/OrderDesk.h"
#include "main/GuestOrdersWindow.h"
#include "main/MainWindow.h"
#include "main/TileWidget.h"
#include "mobile/ServerControl.h"
#include "order/OrderWindow.h"
#include "store/Database.h"
#include "store/Settings.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

// A counter signed in on a fresh database, its main window shown and active.
struct Counter : ShownCounter {
    Counter() { main.activateWindow(); }
};

PendingItem FirstDish(Database& db) {
    Statement dish(db, "SELECT \"序号\", \"分类\", \"名称\" FROM \"菜单\" WHERE \"分类\" = '菜品' LIMIT 1");
    dish.next();
    return {dish.text(0), dish.text(1), dish.text(2), QStringLiteral("1"), QString()};
}

// What Lanserve stores for an order from a phone: the lines (or a guest order waiting for 确认) and the
// order's key, in one step.
void PhoneOrders(Database& phones, int table, bool waitsForWaiter = false) {
    const QDateTime now = QDateTime::currentDateTime();
    OrderDesk desk(phones, waitsForWaiter ? kSourceGuest : kSourceWaiter);
    const QString name = desk.tables.tableName(table);
    Transaction step(phones);
    if (waitsForWaiter) {
        PendingOrders(phones).add(
            {{}, desk.settings.tableKeys().at(table), name, now, {FirstDish(phones)}, {}, {}});
    } else {
        desk.openTable(table, now);
        desk.placeOrder({FirstDish(phones)}, now);
    }
    PhoneOrderKeys(phones).record(PhoneOrderKeys::NewKey(), name,
                                  waitsForWaiter ? kOrderResultPending : QStringLiteral("added"), now);
    step.commit();
}

} // namespace

class CounterKeysTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void toolbarKeysTriggerTheirItems_data() {
        QTest::addColumn<int>("item");
        for (int item = 0; item < MainWindow::ToolbarCaptions().size(); ++item)
            QTest::newRow(qPrintable(MainWindow::ToolbarCaptions().at(item))) << item;
    }

    void toolbarKeysTriggerTheirItems() {
        QFETCH(int, item);
        Counter counter;
        QVERIFY(QTest::qWaitForWindowActive(&counter.main));
        const QString caption = MainWindow::ToolbarCaptions().at(item);
        auto* label = counter.main.findChild<QLabel*>(QStringLiteral("toolbarItem%1").arg(item));
        QCOMPARE(label->toolTip(), QStringLiteral("%1 (F%2)").arg(caption).arg(item + 1));
        // The item's own work (windows, the manual, the lock) is left out: only the key is checked.
        auto* action = counter.main.findChild<QAction*>(QStringLiteral("toolbarAction%1").arg(item));
        QVERIFY(action);
        QCOMPARE(action->text(), caption);
        QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
        QSignalSpy triggered(action, &QAction::triggered);
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(Qt::Key_F1 + item));
        QCOMPARE(triggered.count(), 1);
    }

    void tilesAnswerArrowsTypedNumbersAndEnter() {
        Counter counter;
        QVERIFY(QTest::qWaitForWindowActive(&counter.main));
        QWidget* tiles = QApplication::focusWidget();
        QCOMPARE(tiles->objectName(), QStringLiteral("tileScroll"));
        TableMap& map = counter.main.tables();
        QTest::keyClick(tiles, Qt::Key_Right);
        QTest::keyClick(tiles, Qt::Key_Right);
        QCOMPARE(map.selectedTile(), 2);
        QTest::keyClick(tiles, Qt::Key_Left);
        QCOMPARE(map.selectedTile(), 1);
        // Down goes to the tile below in the next row, wherever the window's width wraps them.
        QTest::keyClick(tiles, Qt::Key_Down);
        QCOMPARE(counter.main.tile(map.selectedTile())->x(), counter.main.tile(1)->x());
        QVERIFY(counter.main.tile(map.selectedTile())->y() > counter.main.tile(1)->y());
        QTest::keyClick(tiles, Qt::Key_Up);
        QCOMPARE(map.selectedTile(), 1);
        // 大厅005 by its number, then Enter opens it.
        QTest::keyClick(tiles, Qt::Key_5);
        QCOMPARE(map.selectedTile(), 4);
        QTest::keyClick(tiles, Qt::Key_Return);
        QVERIFY(counter.main.orderWindow() && counter.main.orderWindow()->isVisible());
        QCOMPARE(counter.main.orderWindow()->bill().table(), 4);
        QVERIFY(counter.main.orderWindow()->saveAndClose());
    }

    // 新单提醒 is off at first; on, a phone order rings once and flashes its table until the table is opened,
    // and a guest order waiting for 确认 flashes until it is confirmed.
    void phoneOrdersRingAndFlashUntilLookedAt() {
        Counter counter;
        MainWindow& main = counter.main;
        int rings = 0;
        main.setOrderBell([&] { ++rings; });
        QVERIFY(!ReadNewOrderAlert(*counter.db));
        const auto phones = TestHome::openAsPhonePages(*counter.db);

        PhoneOrders(*phones, 1);
        QTRY_VERIFY_WITH_TIMEOUT(main.tables().isOccupied(1), 5000);
        QVERIFY(!main.tile(1)->alerting());
        QCOMPARE(rings, 0);

        WriteNewOrderAlert(*phones, true);
        PhoneOrders(*phones, 2);
        QTRY_VERIFY_WITH_TIMEOUT(main.tile(2)->alerting(), 5000);
        QCOMPARE(rings, 1);
        QVERIFY(!main.tile(1)->alerting()); // its order came before the alert was on
        main.openTable(2);
        QVERIFY(!main.tile(2)->alerting());
        QVERIFY(main.orderWindow()->saveAndClose());
        QVERIFY(!main.tile(2)->alerting());

        PhoneOrders(*phones, 3, true);
        QTRY_VERIFY_WITH_TIMEOUT(main.tile(3)->alerting(), 5000);
        QCOMPARE(rings, 2);
        QTest::mouseClick(main.findChild<QLabel*>(QStringLiteral("guestOrdersLabel")), Qt::LeftButton);
        auto* guestOrders = main.findChild<GuestOrdersWindow*>();
        QVERIFY(guestOrders);
        guestOrders->findChild<QPushButton*>(QStringLiteral("confirmGuestOrderButton"))->click();
        QVERIFY(!main.tile(3)->alerting());
        QVERIFY(main.tables().isOccupied(3));
        QCOMPARE(rings, 2);
    }
};

QTEST_MAIN(CounterKeysTest)
#include "test_counter_keys.moc"
