#include "common/MessageBoxes.h"
#include "common/PaymentAnswers.h"
#include "common/SignedInCounter.h"
#include "common/TestHome.h"

#include "bill/BillDocument.h"
#include "bill/BillStore.h"
#include "bill/TableLease.h"
#include "desk/MenuChoice.h"
#include "desk/OrderDesk.h"
#include "desk/OrderGridModel.h"
#include "desk/TableMap.h"
#include "main/MainWindow.h"
#include "main/TileWidget.h"
#include "main/TransferWindow.h"
#include "mobile/ServerControl.h"
#include "order/OrderWindow.h"
#include "order/PaymentDialog.h"
#include "print/BillPreviewWindow.h"
#include "print/JobStore.h"
#include "print/PrinterStore.h"
#include "print/Printing.h"
#include "settings/RoleRights.h"
#include "settings/SettingsStore.h"
#include "settings/StaffAccounts.h"
#include "stats/DayClose.h"
#include "stats/Shifts.h"
#include "store/ActionTrail.h"
#include "store/Database.h"
#include "store/Fen.h"
#include "store/Ids.h"
#include "store/Schema.h"
#include "store/Settings.h"

#include <QDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

using Desk = ShownCounter;

// Answers the approval dialog once it shows: with these, or cancelled when `owner` is empty.
void approveWith(const QString& owner, const QString& password) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, owner, password] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QStringLiteral("approvalDialog"))
            return;
        timer->deleteLater();
        if (owner.isEmpty())
            return dialog->reject();
        dialog->findChild<QLineEdit*>(QStringLiteral("ownerIdEdit"))->setText(owner);
        dialog->findChild<QLineEdit*>(QStringLiteral("ownerPasswordEdit"))->setText(password);
        dialog->accept();
    });
    timer->start(10);
}

QStringList TrailOf(Database& db) {
    QStringList found;
    for (const TrailRow& row : ActionTrail(db).rows())
        found.append(
            QStringList{row.action.staff, row.action.action, row.action.content, row.action.approver}.join(
                QLatin1Char('|')));
    return found;
}

// Picks this reason in the 反结账 reason dialog once it shows; cancels it when `reason` is empty.
void pickReason(const QString& reason) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, reason] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->deleteLater();
        if (reason.isEmpty())
            return dialog->reject();
        dialog->setTextValue(reason);
        dialog->accept();
    });
    timer->start(10);
}

} // namespace

class OrderWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Search, Enter, F2 and a quantity, F12: the dish is stored at that quantity with no mouse at all.
    void anOrderTakenByKeysAloneIsStored() {
        Desk desk;
        desk.main.openTable(0);
        OrderWindow* window = desk.main.orderWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        auto* search = window->findChild<QLineEdit*>(QStringLiteral("searchBox"));
        QCOMPARE(QApplication::focusWidget(), search);
        QTest::keyClicks(search, QStringLiteral("gbjd"));
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(window->bill().lines().size(), 1);
        QCOMPARE(window->bill().lines().at(0).name, QStringLiteral("宫保鸡丁"));
        QCOMPARE(QApplication::focusWidget(), search);
        QVERIFY(search->text().isEmpty());

        QTest::keyClick(search, Qt::Key_F2);
        QWidget* quantity = QApplication::focusWidget();
        QVERIFY(quantity && quantity != search);
        QTest::keyClicks(quantity, QStringLiteral("3"));
        QTest::keyClick(quantity, Qt::Key_Return); // the editor hands the number over from the event loop
        QTRY_COMPARE(window->bill().lines().at(0).quantity, QStringLiteral("3"));
        QCOMPARE(QApplication::focusWidget(), search);

        // Tab goes from the search box through the menu and the grid to the customer's fields, 人数 last.
        for (const char* next : {"menuList", "orderGrid", "customerNameEdit", "phoneEdit", "remarkEdit",
                                 "discountEdit", "receivedEdit", "creditEdit", "guestsEdit"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(next));
        }
        // 人数 takes whole numbers up to 999 only.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("-1.2a3456"));
        QCOMPARE(window->findChild<QLineEdit*>(QStringLiteral("guestsEdit"))->text(), QStringLiteral("123"));

        const auto* save = window->findChild<QToolButton*>(QStringLiteral("saveButton"));
        QCOMPARE(save->toolTip(), QStringLiteral("保存 (F12)"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F12);
        QVERIFY(!window->isVisible());
        const QString billId = ReadSlots(*desk.db, 1).at(0);
        Statement line(*desk.db, "SELECT \"名称\", \"数量\" FROM \"明细\" WHERE \"id\" = ?");
        line.bind(1, billId);
        QVERIFY(line.next());
        QCOMPARE(line.text(0), QStringLiteral("宫保鸡丁"));
        QCOMPARE(line.text(1), QStringLiteral("3"));
        QCOMPARE(BillStore(*desk.db).header(billId)->guests, QStringLiteral("123"));
        desk.main.openTable(0);
        QCOMPARE(desk.main.orderWindow()->findChild<QLineEdit*>(QStringLiteral("guestsEdit"))->text(),
                 QStringLiteral("123"));
    }

    void aWholeTableFromOpenToCheckout() {
        Desk desk;
        // Each checkout is paid in full in cash.
        const PaymentAnswerer paying;
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

    void theOpenWindowFollowsPhoneOrdersAndAsksBeforeCheckout() {
        Desk desk;
        // Each checkout is paid in full in cash.
        const PaymentAnswerer paying;
        QTest::mouseDClick(desk.main.tile(2), Qt::LeftButton);
        OrderWindow* window = desk.main.orderWindow();
        window->chooseCategory(0);
        window->findChild<QListWidget*>(QStringLiteral("menuList"))->setCurrentRow(0);
        window->addSelectedMenuItem(); // 宫保鸡丁 28
        window->printBill();
        auto* preview = window->findChild<BillPreviewWindow*>();
        QVERIFY(preview);
        auto* receivable = window->findChild<QLabel*>(QStringLiteral("receivableLabel"));

        // A phone orders ten beers for the same table: the window, its grid and the preview follow.
        auto phones = TestHome::openAsPhonePages(*desk.db);
        const auto phoneOrders = [&](const QString& name, const QString& quantity) {
            OrderDesk phone(*phones);
            phone.openTable(2, QDateTime::currentDateTime());
            phone.menu.chooseCategory(QStringLiteral("酒水"));
            for (const MenuRecord& record : phone.menu.records())
                if (record.name == name)
                    phone.bill.runAsOneStep([&] {
                        phone.bill.setQuantity(phone.bill.addItem(record, QDateTime::currentDateTime()),
                                               quantity);
                    });
        };
        phoneOrders(QStringLiteral("青岛啤酒"), QStringLiteral("10"));
        QTRY_COMPARE_WITH_TIMEOUT(receivable->text(), QStringLiteral("108"), 1000);
        QCOMPARE(window->grid().rowCount(), 2);
        QVERIFY(window->grid().isHighlighted(1));
        QVERIFY(!window->grid().isHighlighted(0));
        QTRY_COMPARE(preview->bill().lines.size(), 2);
        QCOMPARE(preview->bill().receivable, QStringLiteral("108"));

        // 实收 clicked now is the whole bill the books hold.
        auto* received = window->findChild<QLineEdit*>(QStringLiteral("receivedEdit"));
        QTest::mouseClick(received, Qt::LeftButton);
        QCOMPARE(received->text(), QStringLiteral("108"));

        // Two colas arrive just as the cashier presses 结账离开: asked first, then settled as stored.
        phoneOrders(QStringLiteral("可乐"), QStringLiteral("2"));
        MessageBoxAnswerer answerer({QMessageBox::Yes});
        window->findChild<QToolButton*>(QStringLiteral("checkOutButton"))->click();
        QCOMPARE(answerer.firstText(), QStringLiteral("手机刚加了 1 道菜，应收 118。\n确定结账离开吗？"));
        QVERIFY(!window->isVisible());
        const QString billId = window->bill().billId();
        Statement bill(*desk.db, "SELECT \"应收\", \"实收\", \"退桌状态\" FROM \"桌台\" WHERE \"id\" = ?");
        bill.bind(1, billId);
        QVERIFY(bill.next());
        QCOMPARE(bill.text(0) + QLatin1Char('|') + bill.text(1) + QLatin1Char('|') + bill.text(2),
                 QStringLiteral("118|118|yes"));
    }

    void kitchenPrintingSendsEachLineOnceAndAsksBeforeAgain() {
        Desk desk;
        Printer kitchen;
        kitchen.name = QStringLiteral("厨房");
        kitchen.address = QStringLiteral("tcp://127.0.0.1:9");
        kitchen.categories = {kDishes};
        PrinterStore(*desk.db).add(kitchen);
        QTest::mouseDClick(desk.main.tile(0), Qt::LeftButton);
        OrderWindow* window = desk.main.orderWindow();
        window->chooseCategory(0);
        window->findChild<QListWidget*>(QStringLiteral("menuList"))->setCurrentRow(0);
        window->addSelectedMenuItem();
        auto* send = window->findChild<QToolButton*>(QStringLiteral("kitchenTicketButton"));
        const auto tickets = [&] {
            QStringList found;
            for (const PrintJob& job : JobStore(*desk.db).since(QDate::currentDate()))
                found.prepend(job.lines.value(0).name + (job.reprint ? QStringLiteral(" 重打") : QString()));
            return found;
        };
        send->click();
        QCOMPARE(tickets(), QStringList{QStringLiteral("宫保鸡丁")});
        const QModelIndex mark = window->grid().index(0, OrderGridModel::Kitchen);
        QCOMPARE(mark.data().toString(), QStringLiteral("已送"));
        // Pressed again: nothing is marked any more, nothing goes.
        QCOMPARE(MessageShownBy([&] { send->click(); }), kNoKitchenLinesMessage + QStringLiteral("|提示"));
        // Marked again, it goes only when the question is answered yes, as 重打.
        window->grid().clickCell(mark);
        const MessageBoxAnswerer answers({QMessageBox::No, QMessageBox::Yes});
        send->click();
        QCOMPARE(tickets().size(), 1);
        window->grid().clickCell(mark);
        send->click();
        QVERIFY(answers.firstText().startsWith(QStringLiteral("以下菜品已经送过厨房")));
        QCOMPARE(tickets(), (QStringList{QStringLiteral("宫保鸡丁"), QStringLiteral("宫保鸡丁 重打")}));
    }

    // A waiter lacks 结账: the checkout asks for a 店长 on the spot; a wrong password or a cancel leaves
    // the table as it is, the 店长's 工号 and password settle it.
    void aWaitersCheckoutNeedsAnOwnersApproval() {
        Desk desk;
        // Each checkout is paid in full in cash.
        const PaymentAnswerer paying;
        AddStaffAccount(*desk.db, {QStringLiteral("007"), QStringLiteral("小王"), kRoleWaiter, true,
                                   QStringLiteral("1")});
        desk.counter.session.setSignedInStaff(*ReadStaffAccount(*desk.db, QStringLiteral("007")), true);
        auto phones = TestHome::openAsPhonePages(*desk.db);
        OrderDesk other(*phones);
        other.openTable(3, QDateTime::currentDateTime());
        other.menu.chooseCategory(QStringLiteral("菜品"));
        other.bill.addItem(other.menu.records().at(0), QDateTime::currentDateTime());
        QTRY_VERIFY(desk.main.tile(3)->occupied());
        desk.main.tables().selectTile(3);
        approveWith({}, {});
        desk.main.settleAndFreeSelected();
        QVERIFY(SlotOccupied(ReadSlots(*desk.db, 4).at(3)));
        approveWith(QStringLiteral("007"), QStringLiteral("1"));
        const MessageBoxAnswerer refused({QMessageBox::Ok});
        desk.main.settleAndFreeSelected();
        QCOMPARE(refused.firstText(), QStringLiteral("店长工号或密码不对，没有批准。"));
        QVERIFY(SlotOccupied(ReadSlots(*desk.db, 4).at(3)));
        approveWith(QStringLiteral("001"), QStringLiteral("739"));
        const MessageBoxAnswerer confirmed({QMessageBox::Yes});
        desk.main.settleAndFreeSelected();
        QCOMPARE(ReadSlots(*desk.db, 4).at(3), QString());
    }

    // A cashier's discount, a price changed, a move to another table and a paid bill corrected (which
    // needs a 店长) each leave a row with who did it; a refused approval leaves the paid bill unchanged.
    void moneyActionsAndMovesGoIntoTheTrail() {
        Desk desk;
        // Each checkout is paid in full in cash.
        const PaymentAnswerer paying;
        AddStaffAccount(*desk.db, {QStringLiteral("008"), QStringLiteral("小李"), kRoleCashier, true,
                                   QStringLiteral("1")});
        desk.counter.session.setSignedInStaff(*ReadStaffAccount(*desk.db, QStringLiteral("008")), true);
        desk.main.signedInChanged();
        QVERIFY(desk.main.windowTitle().endsWith(QStringLiteral("小李（008，收银员）")));

        QTest::mouseDClick(desk.main.tile(1), Qt::LeftButton);
        OrderWindow* window = desk.main.orderWindow();
        window->chooseCategory(0);
        window->findChild<QListWidget*>(QStringLiteral("menuList"))->setCurrentRow(0);
        window->addSelectedMenuItem();
        window->bill().setPrice(0, QStringLiteral("30"));
        window->findChild<QToolButton*>(QStringLiteral("saveButton"))->click();
        desk.main.tables().selectTile(1);
        desk.main.startTransfer();
        auto* transfer = desk.main.findChild<TransferWindow*>();
        transfer->chooseTarget(4);
        transfer->confirm();
        QTRY_VERIFY(desk.main.tile(4)->occupied());

        // Below the cashier's limit the 店长 approves; at the limit the cashier goes on alone.
        SetDiscountLimit(*desk.db, QStringLiteral("0.9"));
        QTest::mouseDClick(desk.main.tile(4), Qt::LeftButton);
        window = desk.main.orderWindow();
        window->findChild<QLineEdit*>(QStringLiteral("discountEdit"))->setText(QStringLiteral("0.8"));
        approveWith({}, {});
        window->findChild<QToolButton*>(QStringLiteral("checkOutButton"))->click();
        QVERIFY(desk.main.tile(4)->occupied());
        window->findChild<QLineEdit*>(QStringLiteral("discountEdit"))->setText(QStringLiteral("0.9"));
        window->findChild<QToolButton*>(QStringLiteral("checkOutButton"))->click();
        QVERIFY(!desk.main.tile(4)->occupied());
        const QString billId = window->bill().billId();
        QCOMPARE(TrailOf(*desk.db),
                 (QStringList{QStringLiteral("008|改价|宫保鸡丁 单价 28 → 30|"),
                              QStringLiteral("008|转台|大厅002 → 大厅005|"),
                              QStringLiteral("008|折扣|应收 30：实收 无 → 27（折扣 0.9）|")}));

        // Without the 店长 the paid bill opens only to look at.
        approveWith({}, {});
        desk.main.reopenBill(billId);
        QTRY_COMPARE(desk.main.orderWindow()->windowTitle(), QStringLiteral("点餐（只读）"));
        desk.main.orderWindow()->findChild<QToolButton*>(QStringLiteral("saveButton"))->click();
        approveWith(QStringLiteral("001"), QStringLiteral("739"));
        desk.main.reopenBill(billId);
        window = desk.main.orderWindow();
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("点餐"));
        auto* received = window->findChild<QLineEdit*>(QStringLiteral("receivedEdit"));
        received->setText(QStringLiteral("25"));
        Q_EMIT received->textEdited(received->text());
        window->findChild<QToolButton*>(QStringLiteral("saveButton"))->click();
        const QStringList trail = TrailOf(*desk.db);
        QCOMPARE(trail.mid(3), (QStringList{QStringLiteral("008|反结账|应收 30，实收 27|001"),
                                            QStringLiteral("008|折扣|应收 30：实收 27 → 25|")}));
        // At checkout the 店长 who approved a discount below the limit is named.
        QTest::mouseDClick(desk.main.tile(6), Qt::LeftButton);
        window = desk.main.orderWindow();
        window->chooseCategory(0);
        window->findChild<QListWidget*>(QStringLiteral("menuList"))->setCurrentRow(0);
        window->addSelectedMenuItem();
        window->findChild<QLineEdit*>(QStringLiteral("discountEdit"))->setText(QStringLiteral("0.5"));
        approveWith(QStringLiteral("001"), QStringLiteral("739"));
        window->findChild<QToolButton*>(QStringLiteral("checkOutButton"))->click();
        QCOMPARE(TrailOf(*desk.db).last(), QStringLiteral("008|折扣|应收 28：实收 无 → 14（折扣 0.5）|001"));
    }

    // The payment step: a refused overpayment by phone, then 微信 and 现金 with change; 取消 leaves the bill
    // open and unpaid; the tile's 结账离开 takes the money the same way.
    void checkoutTakesPaymentsByMethod() {
        Desk desk;
        const auto payments = [&](const QString& billId) {
            QStringList rows;
            for (const StoredPayment& row : PaymentBook(*desk.db).ofBill(billId))
                rows.append(row.payment.method + QLatin1Char(' ') + FenText(row.payment.tendered) +
                            QLatin1Char('/') + FenText(row.payment.change));
            return rows;
        };
        QTest::mouseDClick(desk.main.tile(1), Qt::LeftButton);
        OrderWindow* window = desk.main.orderWindow();
        window->chooseCategory(0);
        window->findChild<QListWidget*>(QStringLiteral("menuList"))->setCurrentRow(0);
        window->addSelectedMenuItem();
        window->bill().setPrice(0, QStringLiteral("128"));
        const QString billId = window->bill().billId();
        {
            const PaymentAnswerer cancelled({}, true);
            window->findChild<QToolButton*>(QStringLiteral("checkOutButton"))->click();
            QCOMPARE(cancelled.dues(), QStringList{QStringLiteral("应收 128")});
        }
        QVERIFY(window->isVisible());
        QCOMPARE(ReadSlots(*desk.db, 2).at(1), billId);
        QCOMPARE(payments(billId), QStringList());
        {
            const PaymentAnswerer paying({{{QStringLiteral("微信"), QStringLiteral("200")},
                                           {QStringLiteral("微信"), QStringLiteral("50")},
                                           {QStringLiteral("现金"), QStringLiteral("100")}}});
            window->findChild<QToolButton*>(QStringLiteral("checkOutButton"))->click();
            QCOMPARE(paying.refusals(), QStringList{QString()});
        }
        QVERIFY(!window->isVisible());
        QCOMPARE(payments(billId), (QStringList{QStringLiteral("微信 50/0"), QStringLiteral("现金 100/22")}));
        {
            Statement bill(*desk.db, "SELECT \"实收\", \"退桌状态\" FROM \"桌台\" WHERE \"id\" = ?");
            bill.bind(1, billId);
            QVERIFY(bill.next());
            QCOMPARE(bill.text(0) + QLatin1Char('|') + bill.text(1), QStringLiteral("128|yes"));
        }

        // From the table map: the stored bill, paid in the same step.
        auto phones = TestHome::openAsPhonePages(*desk.db);
        OrderDesk phone(*phones);
        phone.openTable(5, QDateTime::currentDateTime());
        phone.menu.chooseCategory(QStringLiteral("菜品"));
        phone.bill.addItem(phone.menu.records().at(0), QDateTime::currentDateTime());
        QTRY_VERIFY(desk.main.tile(5)->occupied());
        desk.main.tables().selectTile(5);
        const PaymentAnswerer paying;
        desk.main.settleAndFreeSelected();
        QCOMPARE(paying.dues(), QStringList{QStringLiteral("应收 28")});
        QCOMPARE(ReadSlots(*desk.db, 6).at(5), QString());
        QCOMPARE(payments(phone.bill.billId()), QStringList{QStringLiteral("现金 28/0")});
    }

    // A non-cash payment above what is still due is refused in the step itself, and nothing is added.
    void aNonCashOverpaymentIsRefusedOnTheSpot() {
        PaymentDialog dialog({{kCashMethod, true, true}, {QStringLiteral("微信"), false, true}}, 12800);
        QVERIFY(dialog.chooseMethod(QStringLiteral("微信")));
        QVERIFY(!dialog.addPayment(13000));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("paymentMessageLabel"))->text(),
                 QStringLiteral("非现金支付不能找零"));
        QVERIFY(!dialog.findChild<QPushButton*>(QStringLiteral("okButton"))->isEnabled());
        dialog.findChild<QPushButton*>(QStringLiteral("stillDueButton"))->click();
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("stillDueLabel"))->text(),
                 QStringLiteral("还差 0"));
        QVERIFY(dialog.findChild<QPushButton*>(QStringLiteral("okButton"))->isEnabled());
        QCOMPARE(dialog.tally().payments(), (QList<Payment>{{QStringLiteral("微信"), 12800, 0, false}}));
    }

    // 反结账: the paid bill shows its payments; changed, it is paid again and the old payments reversed.
    void aReopenedBillIsPaidAgainWhenChanged() {
        Desk desk;
        QTest::mouseDClick(desk.main.tile(2), Qt::LeftButton);
        OrderWindow* window = desk.main.orderWindow();
        window->chooseCategory(0);
        window->findChild<QListWidget*>(QStringLiteral("menuList"))->setCurrentRow(0);
        window->addSelectedMenuItem();
        const QString billId = window->bill().billId();
        {
            const PaymentAnswerer paying({{{QStringLiteral("微信"), QStringLiteral("10")},
                                           {QStringLiteral("现金"), QStringLiteral("20")}}});
            window->findChild<QToolButton*>(QStringLiteral("checkOutButton"))->click();
        }
        desk.main.reopenBill(billId);
        window = desk.main.orderWindow();
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("paymentsLabel"))->text(),
                 QStringLiteral("已收：微信 10，现金 20（找零 2）"));
        window->bill().setPrice(0, QStringLiteral("30"));
        {
            const PaymentAnswerer cancelled({}, true);
            QVERIFY(!window->saveAndClose());
        }
        QVERIFY(window->isVisible());
        QCOMPARE(PaymentBook(*desk.db).ofBill(billId).size(), 2);
        const PaymentAnswerer paying;
        window->findChild<QToolButton*>(QStringLiteral("saveButton"))->click();
        QCOMPARE(paying.dues(), QStringList{QStringLiteral("应收 30")});
        QStringList rows;
        for (const StoredPayment& row : PaymentBook(*desk.db).ofBill(billId))
            rows.append(row.payment.method + QLatin1Char(' ') + FenText(row.payment.tendered) +
                        (row.reverses.isEmpty() ? QString() : QStringLiteral(" 冲销")));
        QCOMPARE(rows, (QStringList{QStringLiteral("微信 10"), QStringLiteral("现金 20"),
                                    QStringLiteral("微信 -10 冲销"), QStringLiteral("现金 -20 冲销"),
                                    QStringLiteral("现金 30")}));
    }

    // 反结账 of a bill paid at a discount shows the rate in the 折扣 box, and a dish added is paid at it.
    void aReopenedDiscountedBillKeepsItsRate() {
        Desk desk;
        QTest::mouseDClick(desk.main.tile(3), Qt::LeftButton);
        OrderWindow* window = desk.main.orderWindow();
        window->chooseCategory(0);
        window->findChild<QListWidget*>(QStringLiteral("menuList"))->setCurrentRow(0);
        window->addSelectedMenuItem();
        window->bill().setPrice(0, QStringLiteral("100"));
        window->findChild<QLineEdit*>(QStringLiteral("discountEdit"))->setText(QStringLiteral("0.9"));
        const QString billId = window->bill().billId();
        {
            const PaymentAnswerer paying;
            window->findChild<QToolButton*>(QStringLiteral("checkOutButton"))->click();
            QCOMPARE(paying.dues(), QStringList{QStringLiteral("应收 90")});
        }
        desk.main.reopenBill(billId);
        window = desk.main.orderWindow();
        QCOMPARE(window->findChild<QLineEdit*>(QStringLiteral("discountEdit"))->text(),
                 QStringLiteral("0.9"));
        window->chooseCategory(0);
        window->findChild<QListWidget*>(QStringLiteral("menuList"))->setCurrentRow(0);
        window->addSelectedMenuItem();
        window->bill().setPrice(1, QStringLiteral("50"));
        const PaymentAnswerer paying;
        window->findChild<QToolButton*>(QStringLiteral("saveButton"))->click();
        QCOMPARE(paying.dues(), QStringList{QStringLiteral("应收 135")});
    }

    // Once the bill's business day is closed, even a 店长 reopens it only with a reason, which the trail
    // keeps.
    void aClosedDaysBillReopensOnlyWithAReason() {
        Desk desk;
        QTest::mouseDClick(desk.main.tile(1), Qt::LeftButton);
        OrderWindow* window = desk.main.orderWindow();
        window->chooseCategory(0);
        window->findChild<QListWidget*>(QStringLiteral("menuList"))->setCurrentRow(0);
        window->addSelectedMenuItem();
        {
            const PaymentAnswerer paying;
            window->findChild<QToolButton*>(QStringLiteral("checkOutButton"))->click();
        }
        const QString billId = window->bill().billId();
        const QDateTime now = QDateTime::currentDateTime();
        CloseDay(*desk.db, BusinessDayOfBill(billId, ReadBusinessDayEnd(*desk.db)), kFirstStaffId, now);

        pickReason({});
        desk.main.reopenBill(billId);
        QTRY_COMPARE(desk.main.orderWindow()->windowTitle(), QStringLiteral("点餐（只读）"));
        desk.main.orderWindow()->findChild<QToolButton*>(QStringLiteral("saveButton"))->click();

        pickReason(QStringLiteral("上错菜"));
        desk.main.reopenBill(billId);
        window = desk.main.orderWindow();
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("点餐"));
        auto* received = window->findChild<QLineEdit*>(QStringLiteral("receivedEdit"));
        received->setText(QStringLiteral("1"));
        Q_EMIT received->textEdited(received->text());
        const PaymentAnswerer paying; // a changed paid bill is paid again
        window->findChild<QToolButton*>(QStringLiteral("saveButton"))->click();
        const QList<TrailRow> rows = ActionTrail(*desk.db).rows();
        QVERIFY(!rows.isEmpty());
        const auto reopening = std::find_if(rows.begin(), rows.end(), [](const TrailRow& row) {
            return row.action.action == trail_action::kReopenBill;
        });
        QVERIFY(reopening != rows.end());
        QCOMPARE(reopening->action.reason, QStringLiteral("上错菜"));
        QCOMPARE(reopening->action.bill, billId);
    }

    void aTileSettledJustAfterAPhoneOrderedAsksFirst() {
        Desk desk;
        // Each checkout is paid in full in cash.
        const PaymentAnswerer paying;
        auto phones = TestHome::openAsPhonePages(*desk.db);
        OrderDesk phone(*phones);
        phone.openTable(6, QDateTime::currentDateTime());
        phone.menu.chooseCategory(QStringLiteral("菜品"));
        phone.bill.addItem(phone.menu.records().at(0), QDateTime::currentDateTime());
        QTRY_VERIFY(desk.main.tile(6)->occupied());
        desk.main.tables().selectTile(6);
        // The phone orders again; the cashier settles before the tile could show it.
        phone.openTable(6, QDateTime::currentDateTime());
        phone.bill.addItem(phone.menu.records().at(0), QDateTime::currentDateTime());
        const MessageBoxAnswerer declined({QMessageBox::No});
        desk.main.settleAndFreeSelected();
        QCOMPARE(declined.firstText(), QStringLiteral("这张桌的账单刚有变动，应收 56。\n确定结账离开吗？"));
        QCOMPARE(ReadSlots(*desk.db, 7).at(6), phone.bill.billId());
        const MessageBoxAnswerer confirmed({QMessageBox::Yes});
        desk.main.settleAndFreeSelected();
        QCOMPARE(confirmed.shown().size(), 0); // the tile showed 56 since the last question
        QCOMPARE(ReadSlots(*desk.db, 7).at(6), QString());
    }

    void aTableOpenOnAnotherCounterIsOnlyShownHere() {
        Desk desk;
        auto other = TestHome::openAsAnotherCounter(*desk.db);
        OrderDesk otherCounter(*other);
        TableLease otherWindow(*other);
        QVERIFY(otherWindow.take(4));
        otherCounter.openTable(4, QDateTime::currentDateTime());
        otherCounter.menu.chooseCategory(QStringLiteral("菜品"));
        otherCounter.bill.addItem(otherCounter.menu.records().at(0), QDateTime::currentDateTime());
        otherCounter.bill.setCustomerName(QStringLiteral("王先生"));
        otherCounter.bill.storeFields();

        const QString opened = MessageShownBy([&] { QTest::mouseDClick(desk.main.tile(4), Qt::LeftButton); });
        QCOMPARE(opened, QStringLiteral("该桌正在其他收银台点餐|提示"));
        OrderWindow* window = desk.main.orderWindow();
        QVERIFY(window->isReadOnly());
        // Return in a customer box stores nothing.
        auto* name = window->findChild<QLineEdit*>(QStringLiteral("customerNameEdit"));
        QCOMPARE(name->text(), QStringLiteral("王先生"));
        QTest::mouseClick(name, Qt::LeftButton);
        QTest::keyClick(name, Qt::Key_Return);
        QTest::keyClick(name, Qt::Key_Tab);
        // The other counter's next line shows here too.
        otherCounter.bill.addItem(otherCounter.menu.records().at(1), QDateTime::currentDateTime());
        QTRY_COMPARE_WITH_TIMEOUT(window->grid().rowCount(), 2, 1000);
        window->findChild<QToolButton*>(QStringLiteral("saveButton"))->click();
        QVERIFY(!window->isVisible());

        // 结账离开 on the tile is refused while the other counter has it.
        desk.main.tables().selectTile(4);
        const QString settled = MessageShownBy([&] { desk.main.settleAndFreeSelected(); });
        QVERIFY2(settled.contains(QStringLiteral("该桌正在其他收银台点餐")), qPrintable(settled));
        Statement bill(*desk.db, "SELECT \"姓名\", \"退桌状态\", \"应收\" FROM \"桌台\" WHERE \"id\" = ?");
        bill.bind(1, otherCounter.bill.billId());
        QVERIFY(bill.next());
        QCOMPARE(bill.text(0) + QLatin1Char('|') + bill.text(1) + QLatin1Char('|') + bill.text(2),
                 QStringLiteral("王先生||54"));
        QCOMPARE(ReadSlots(*desk.db, 5).at(4), otherCounter.bill.billId());
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
        if (TestsOnServer())
            QSKIP("the full disk is made with the file's page limit");
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
