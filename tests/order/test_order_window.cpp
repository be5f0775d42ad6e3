#include "common/MessageBoxes.h"
#include "common/TestHome.h"

#include "app/ServerControl.h"
#include "bill/BillDocument.h"
#include "main/MainWindow.h"
#include "main/TableMap.h"
#include "main/TileWidget.h"
#include "order/MenuChoice.h"
#include "order/OrderGridModel.h"
#include "order/OrderWindow.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Settings.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace {

// The main window over a fresh database, shown, as a user finds it after login.
struct Desk {
    TestHome home;
    std::unique_ptr<Database> db = home.createDatabase();
    DataFolders folders{home.path(QStringLiteral("d")), home.path(QStringLiteral("b"))};
    ServerControl server{home.path(QStringLiteral("bin")), folders.dataFolder};
    MainWindow main{*db, folders, server};
    Desk() { main.show(); }
};

} // namespace

class OrderWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aWholeTableFromOpenToCheckout() {
        Desk desk;
        MainWindow& main = desk.main;
        const std::unique_ptr<Database>& db = desk.db;
        QVERIFY(main.tile(12)->isVisible());
        QVERIFY(!main.tile(13)->isVisible());

        // Double-click the free tile 大厅002.
        QTest::mouseDClick(main.tile(1), Qt::LeftButton);
        OrderWindow* window = main.orderWindow();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("点餐"));
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("tableNameLabel"))->text(),
                 QStringLiteral("大厅002"));

        // Type initials, go down into the list and press Enter; then a drink by double-click.
        auto* search = window->findChild<QLineEdit*>(QStringLiteral("searchBox"));
        auto* list = window->findChild<QListWidget*>(QStringLiteral("menuList"));
        search->setText(QStringLiteral("gbjd"));
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("宫保鸡丁[28元/份]"));
        QTest::keyClick(search, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(window->bill().lines().size(), 1);
        QVERIFY(search->text().isEmpty());
        window->chooseCategory(1);
        list->setCurrentRow(0);
        window->addSelectedMenuItem();
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("receivableLabel"))->text(), QStringLiteral("36"));

        // A discount fills 实收.
        window->findChild<QLineEdit*>(QStringLiteral("discountEdit"))->setText(QStringLiteral("0.5"));
        QCOMPARE(window->findChild<QLineEdit*>(QStringLiteral("receivedEdit"))->text(), QStringLiteral("18"));

        // 保存 closes the window and the tile shows occupied.
        window->findChild<QToolButton*>(QStringLiteral("saveButton"))->click();
        QVERIFY(!window->isVisible());
        QVERIFY(main.tile(1)->occupied());
        const QString billId = main.tables().slotValue(1);
        QCOMPARE(billId.size(), 14);

        // Reopening shows the same lines and the stored amount received.
        QTest::mouseDClick(main.tile(1), Qt::LeftButton);
        window = main.orderWindow();
        QCOMPARE(window->bill().billId(), billId);
        QCOMPARE(window->bill().lines().size(), 2);
        QCOMPARE(window->findChild<QLineEdit*>(QStringLiteral("receivedEdit"))->text(), QStringLiteral("18"));

        // 结账离开 frees it.
        window->findChild<QToolButton*>(QStringLiteral("checkOutButton"))->click();
        QVERIFY(!main.tile(1)->occupied());
        QCOMPARE(ReadSlots(*db, 2).at(1), QString());
    }

    void twentyRowsShowAndTheRestScroll() {
        TestHome home;
        auto db = home.createDatabase();
        SettingsStore settings(*db);
        OrderWindow window(*db, settings);
        const QDateTime opened(QDate(2024, 1, 2), QTime(3, 4, 5));
        window.bill().openTable(0, QStringLiteral("大厅001"), opened);
        for (int i = 0; i < 25; ++i)
            window.bill().addItem(MenuRecordFrom(QStringLiteral("菜品"), QStringLiteral("菜%1").arg(i),
                                                 QStringLiteral("1"), QStringLiteral("份"),
                                                 QStringLiteral("1"), QString()),
                                  opened);
        window.show();
        QScrollBar* bar = window.gridView()->verticalScrollBar();
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 5);
        bar->setValue(5);
        QCOMPARE(window.gridView()->rowAt(0), 5);
        const QModelIndex mark = window.grid().index(24, OrderGridModel::Kitchen);
        QCOMPARE(mark.data().toString(), QStringLiteral("√"));
    }

    void clicksOnMarkCellsToggleAndSelect() {
        TestHome home;
        auto db = home.createDatabase();
        SettingsStore settings(*db);
        OrderWindow window(*db, settings);
        window.bill().openTable(0, QStringLiteral("大厅001"), QDateTime::currentDateTime());
        window.chooseCategory(0);
        window.addSelectedMenuItem(); // nothing chosen: nothing added
        QVERIFY(window.bill().lines().isEmpty());
        window.findChild<QListWidget*>(QStringLiteral("menuList"))->setCurrentRow(0);
        window.addSelectedMenuItem();
        window.grid().clickCell(window.grid().index(0, OrderGridModel::Kitchen));
        QCOMPARE(window.bill().lines().at(0).kitchenMark, QString());
        window.grid().clickCell(window.grid().index(0, OrderGridModel::Served));
        QCOMPARE(window.bill().lines().at(0).served, QStringLiteral("√"));
        QCOMPARE(
            window.grid().index(0, OrderGridModel::Name).data(Qt::BackgroundRole).value<QBrush>().color(),
            QColor(0, 255, 255));
        // Quantity typed into the grid recomputes the amount.
        window.grid().setData(window.grid().index(0, OrderGridModel::Quantity), QStringLiteral("2"),
                              Qt::EditRole);
        QCOMPARE(window.grid().index(0, OrderGridModel::Amount).data().toString(), QStringLiteral("56"));
        QVERIFY(!(window.grid().flags(window.grid().index(0, OrderGridModel::Name)) & Qt::ItemIsEditable));
        // Delete the selected line.
        window.findChild<QToolButton*>(QStringLiteral("deleteLineButton"))->click();
        QVERIFY(window.bill().lines().isEmpty());
    }

    void aFullDiskKeepsTheWindowOpenAndSaysWhatWasNotSaved() {
        Desk desk;
        MainWindow& main = desk.main;
        const std::unique_ptr<Database>& db = desk.db;
        QTest::mouseDClick(main.tile(3), Qt::LeftButton);
        OrderWindow* window = main.orderWindow();
        auto* list = window->findChild<QListWidget*>(QStringLiteral("menuList"));
        const auto addFirstDrink = [&] {
            window->chooseCategory(1);
            list->setCurrentRow(0);
            window->addSelectedMenuItem();
        };
        addFirstDrink();
        {
            Statement pages(*db, "PRAGMA page_count");
            QVERIFY(pages.next());
            db->exec(("PRAGMA max_page_count = " + QByteArray::number(pages.integer(0)) + ";").constData());
        }
        QString message;
        for (int i = 0; i < 300 && message.isEmpty(); ++i)
            message = MessageShownBy(addFirstDrink);
        QVERIFY2(message.startsWith(QStringLiteral("菜品没有加入点单。\n")), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("磁盘空间已满")), qPrintable(message));

        // The window stays, and its grid shows exactly the lines that are stored.
        QVERIFY(window->isVisible());
        const QString billId = window->bill().billId();
        const int stored = static_cast<int>(BillStore(*db).lines(billId).size());
        QVERIFY(stored >= 1);
        QCOMPARE(window->grid().rowCount(), stored);

        db->exec("PRAGMA max_page_count = 1073741823;");
        addFirstDrink();
        window->findChild<QToolButton*>(QStringLiteral("saveButton"))->click();
        QVERIFY(!window->isVisible());
        QVERIFY(main.tile(3)->occupied());
        QCOMPARE(BillStore(*db).lines(billId).size(), stored + 1);
    }
};

QTEST_MAIN(OrderWindowTest)
#include "test_order_window.moc"
