#include "common/MessageBoxes.h"
#include "common/StaffPasswords.h"
#include "common/TestHome.h"

#include "bill/Payments.h"
#include "settings/PaymentMethodsWindow.h"
#include "settings/RoleRights.h"
#include "settings/RoleRightsPage.h"
#include "settings/SettingsStore.h"
#include "settings/SettingsWindow.h"
#include "settings/StaffAccounts.h"
#include "settings/StaffWindow.h"
#include "settings/TableDialog.h"
#include "store/Database.h"
#include "store/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <memory>

namespace {

QStringList tableNames(Database& db) {
    QStringList names;
    Statement query(db, "SELECT \"餐桌名称\" FROM \"餐桌设置\" ORDER BY rowid");
    while (query.next())
        names.append(query.text(0));
    return names;
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

} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        home_ = std::make_unique<TestHome>();
        db_ = home_->createDatabase();
        store_ = std::make_unique<SettingsStore>(*db_);
        changes_ = 0;
    }
    void cleanup() {
        window_.reset();
        store_.reset();
        db_.reset();
        home_.reset();
    }

    void readersSeeUnsavedEditsUntilCancel() {
        open();
        QCOMPARE(box("restaurantNameEdit")->text(), QStringLiteral("澄槿小馆"));
        QCOMPARE(list()->count(), 13);
        box("restaurantNameEdit")->setText(QStringLiteral("新馆"));
        box("leftMarginEdit")->setText(QStringLiteral("12.5"));
        QCOMPARE(store_->restaurantName(), QStringLiteral("新馆"));
        QCOMPARE(store_->leftMarginMm(), 12.5);
        list()->setCurrentRow(1);
        button("renameTableButton")->click();
        button("cancelButton")->click();
        QVERIFY(!window_->isVisible());
        QVERIFY(!window_->tableDialog()->isVisible());
        QVERIFY(!store_->isFilled());
        QCOMPARE(store_->restaurantName(), QStringLiteral("澄槿小馆"));
        QCOMPARE(store_->leftMargin(), QStringLiteral("10"));
    }

    void saveWritesTheFiveTextsOnlyWhenAllFit() {
        open();
        box("phoneEdit")->setText(QStringLiteral("123"));
        box("leftMarginEdit")->setText(QStringLiteral("abc"));
        box("topMarginEdit")->setText(QStringLiteral("10.5"));
        box("restaurantNameEdit")->setText(QString(101, QChar(u'馆')));
        const MessageBoxAnswerer message;
        button("saveButton")->click();
        QVERIFY(message.firstText().contains(QStringLiteral("餐馆名称")));
        QVERIFY(window_->isVisible());
        QCOMPARE(ReadSettingsRow(*db_)->phone, QStringLiteral("0571-88886666"));

        box("restaurantNameEdit")->setText(QStringLiteral(" 新馆 "));
        button("saveButton")->click();
        QVERIFY(!window_->isVisible());
        QVERIFY(!store_->isFilled());
        const std::optional<SettingsRow> row = ReadSettingsRow(*db_);
        QCOMPARE(row->restaurantName, QStringLiteral(" 新馆 "));
        QCOMPARE(row->phone, QStringLiteral("123"));
        QCOMPARE(row->leftMargin, QStringLiteral("abc")); // stored as typed, printed as 0
        QCOMPARE(store_->leftMarginMm(), 0.0);
        QCOMPARE(store_->topMarginMm(), 10.5);
    }

    // Columns: stored password, old and new as typed, message, changed. The comparison is the login's
    // (trimmed, letter case ignored), and the window stays open with its unsaved edits either way.
    void passwordChange_data() {
        for (const char* column : {"stored", "oldTyped", "newTyped", "message"})
            QTest::addColumn<QString>(column);
        QTest::addColumn<bool>("changed");
        const QString wrong = QStringLiteral("原密码不正确，无法修改密码！");
        const QString done = QStringLiteral("修改密码成功，请牢记新密码！");
        QTest::newRow("new only blanks") << "739"
                                         << "739"
                                         << "  "
                                         << "请输入新密码！" << false;
        QTest::newRow("wrong old") << "739"
                                   << "793"
                                   << "8" << wrong << false;
        QTest::newRow("case ignored") << "Abc"
                                      << "abc"
                                      << "8" << done << true;
        QTest::newRow("both trimmed") << "739"
                                      << " 739 "
                                      << " 8 8 " << done << true;
    }
    void passwordChange() {
        QFETCH(QString, stored);
        QFETCH(QString, oldTyped);
        QFETCH(QString, newTyped);
        QFETCH(QString, message);
        QFETCH(bool, changed);
        SetFirstStaffPassword(*db_, stored);
        open();
        box("restaurantNameEdit")->setText(QStringLiteral("未保存"));
        box("oldPasswordEdit")->setText(oldTyped);
        box("newPasswordEdit")->setText(newTyped);
        QCOMPARE(box("oldPasswordEdit")->echoMode(), QLineEdit::Password);
        QCOMPARE(box("newPasswordEdit")->echoMode(), QLineEdit::Password);
        const MessageBoxAnswerer answer;
        button("changePasswordButton")->click();
        QCOMPARE(answer.firstText(), message);
        QVERIFY(window_->isVisible());
        QVERIFY(FirstStaffPasswordIs(*db_, changed ? newTyped : stored));
        // The details typed before stay unsaved in the open window; a change clears the password boxes.
        QCOMPARE(box("restaurantNameEdit")->text(), QStringLiteral("未保存"));
        QVERIFY(store_->isFilled());
        QCOMPARE(ReadSettingsRow(*db_)->restaurantName, QStringLiteral("澄槿小馆"));
        QCOMPARE(box("oldPasswordEdit")->text(), changed ? QString() : oldTyped);
    }

    // Only a 店长 opens 员工; there a new waiter is added through the form and shows in the list, and a
    // mistyped repeat of the password saves nothing.
    void theOwnerAddsStaffAndOthersMayNot() {
        AddStaffAccount(
            *db_, {QStringLiteral("007"), QStringLiteral("小王"), kRoleWaiter, true, QStringLiteral("1")});
        open();
        window_->setSignedInStaff(QStringLiteral("007"));
        {
            const MessageBoxAnswerer answer;
            button("staffButton")->click();
            QCOMPARE(answer.firstText(), QStringLiteral("只有店长可以管理员工。"));
        }
        StaffWindow staff(*db_);
        QCOMPARE(staff.list()->rowCount(), 2);
        staff.idBox()->setText(QStringLiteral("012"));
        staff.nameBox()->setText(QStringLiteral("小李"));
        staff.roleBox()->setCurrentText(kRoleCashier);
        staff.passwordBox()->setText(QStringLiteral("Li12"));
        staff.repeatBox()->setText(QStringLiteral("Li13"));
        {
            const MessageBoxAnswerer answer;
            QVERIFY(!staff.saveForm());
            QCOMPARE(answer.firstText(), QStringLiteral("两次输入的密码不一样。"));
        }
        QVERIFY(!ReadStaffAccount(*db_, QStringLiteral("012")));
        staff.repeatBox()->setText(QStringLiteral("Li12"));
        {
            const MessageBoxAnswerer answer;
            QVERIFY(staff.saveForm());
        }
        QCOMPARE(staff.list()->rowCount(), 3);
        QCOMPARE(staff.list()->item(2, 1)->text(), QStringLiteral("小李"));
        QCOMPARE(ReadStaffAccount(*db_, QStringLiteral("012"))->role, kRoleCashier);
        QVERIFY(StaffPasswordMatches(*db_, QStringLiteral("012"), QStringLiteral("li12")));
    }

    // Only a 店长 opens 支付方式; there a method is added, renamed, moved and disabled, and disabling 现金 is
    // refused with a message and changes nothing.
    void theOwnerEditsThePaymentMethods() {
        AddStaffAccount(
            *db_, {QStringLiteral("007"), QStringLiteral("小王"), kRoleWaiter, true, QStringLiteral("1")});
        open();
        window_->setSignedInStaff(QStringLiteral("007"));
        {
            const MessageBoxAnswerer answer;
            button("paymentMethodsButton")->click();
            QCOMPARE(answer.firstText(), QStringLiteral("只有店长可以设置支付方式。"));
        }
        PaymentMethodsWindow methods(*db_);
        const auto shown = [&] {
            QStringList texts;
            for (int i = 0; i < methods.list()->count(); ++i)
                texts.append(methods.list()->item(i)->text());
            return texts;
        };
        methods.nameBox()->setText(QStringLiteral("美团"));
        methods.addMethod();
        methods.moveSelected(-1);
        methods.list()->setCurrentRow(1);
        QCOMPARE(methods.nameBox()->text(), QStringLiteral("微信"));
        methods.nameBox()->setText(QStringLiteral("微信支付"));
        methods.renameSelected();
        methods.toggleSelected();
        QCOMPARE(shown(), (QStringList{"现金（可找零）", "微信支付（停用）", "支付宝", "银行卡",
                                       "会员卡/储值", "美团", "挂账"}));
        methods.list()->setCurrentRow(0);
        {
            const MessageBoxAnswerer answer;
            methods.toggleSelected();
            QCOMPARE(answer.firstText(), QStringLiteral("现金不能停用。"));
        }
        QCOMPARE(shown().first(), QStringLiteral("现金（可找零）"));
        QCOMPARE(PaymentBook(*db_).methods(true).size(), 6);
    }

    // 角色权限: a right the 店长 takes away and the limit they set show again when 员工 is opened anew; a
    // click leaves the 店长's column as it is; a refused limit is said and saves none of the tab.
    void theOwnerSetsRoleRightsAndTheDiscountLimit() {
        using namespace staff_right;
        {
            StaffWindow staff(*db_);
            staff.tabs()->setCurrentWidget(staff.rightsPage());
            staff.show();
            QVERIFY(QTest::qWaitForWindowExposed(&staff));
            RoleRightsPage* page = staff.rightsPage();
            QVERIFY(page->rightBox(kRoleCashier, kTakeBack)->isChecked());
            QCOMPARE(page->discountLimitBox()->text(), QStringLiteral("0"));
            QTest::mouseClick(page->rightBox(kRoleOwner, kMenu), Qt::LeftButton);
            QTest::mouseClick(page->rightBox(kRoleCashier, kTakeBack), Qt::LeftButton);
            QVERIFY(page->rightBox(kRoleOwner, kMenu)->isChecked());
            page->discountLimitBox()->setText(QStringLiteral("1.5"));
            {
                const MessageBoxAnswerer answer;
                QVERIFY(!page->save());
                QVERIFY(answer.firstText().startsWith(QStringLiteral("角色权限未保存。")));
            }
            QVERIFY(RoleAllows(*db_, kRoleCashier, kTakeBack));
            page->discountLimitBox()->setText(QStringLiteral("0.85"));
            const MessageBoxAnswerer answer;
            QTest::mouseClick(staff.findChild<QPushButton*>(QStringLiteral("saveRightsButton")),
                              Qt::LeftButton);
            QCOMPARE(answer.firstText(), QStringLiteral("角色权限已保存。"));
        }
        StaffWindow reopened(*db_);
        const RoleRightsPage* page = reopened.rightsPage();
        QVERIFY(!page->rightBox(kRoleCashier, kTakeBack)->isChecked());
        QVERIFY(page->rightBox(kRoleCashier, kCheckout)->isChecked());
        QVERIFY(page->rightBox(kRoleOwner, kMenu)->isChecked());
        QCOMPARE(page->discountLimitBox()->text(), QStringLiteral("0.85"));
        QVERIFY(!RoleAllows(*db_, kRoleCashier, kTakeBack));
        QCOMPARE(DiscountLimit(*db_), QStringLiteral("0.85"));
    }

    void addHonoursTheLimit_data() {
        QTest::addColumn<int>("tables");
        QTest::newRow("44 tables") << 44;
        QTest::newRow("45 tables") << 45;
        QTest::newRow("50 rows") << 50;
    }
    void addHonoursTheLimit() {
        QFETCH(int, tables);
        addTables(*db_, tables - 13);
        open();
        QCOMPARE(list()->count(), std::min(tables, 45));
        if (tables >= 45) {
            const MessageBoxAnswerer message;
            button("addTableButton")->click();
            QCOMPARE(message.firstText(), QStringLiteral("最多桌数不能超过45桌！"));
            QVERIFY(!window_->tableDialog()->isVisible());
            QCOMPARE(tableNames(*db_).size(), tables);
            return;
        }
        button("addTableButton")->click();
        QVERIFY(window_->tableDialog()->isVisible());
        QVERIFY(nameBox()->text().isEmpty());
        nameBox()->setText(QStringLiteral("  大厅001 ")); // trimmed; names may repeat
        QTest::keyClick(nameBox(), Qt::Key_Return);
        QVERIFY(!window_->tableDialog()->isVisible());
        QCOMPARE(list()->count(), 45);
        QCOMPARE(list()->item(44)->text(), QStringLiteral("大厅001"));
        QCOMPARE(store_->tableCount(), 45);
        QCOMPARE(changes_, 1);
    }

    void dialogRefusals_data() {
        QTest::addColumn<int>("row"); // -1: a new table
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("new table, blanks") << -1 << "   "
                                           << "请输入餐桌名称！";
        QTest::newRow("name too long") << 0 << QString(51, QChar(u'桌')) << "“餐桌名称”太长";
    }
    void dialogRefusals() {
        QFETCH(int, row);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        open();
        list()->setCurrentRow(row);
        button(row < 0 ? "addTableButton" : "renameTableButton")->click();
        nameBox()->setText(typed);
        const MessageBoxAnswerer answer;
        dialogButton()->click();
        QVERIFY(answer.firstText().startsWith(message));
        QVERIFY(window_->tableDialog()->isVisible());
        QCOMPARE(tableNames(*db_), store_->tableList());
        QCOMPARE(changes_, 0);
    }

    void renameSavesUnderTheKeyItWasOpenedFor() {
        open();
        const MessageBoxAnswerer noSelection;
        button("renameTableButton")->click();
        QCOMPARE(noSelection.firstText(), QStringLiteral("请选择需修改的餐桌！"));
        QVERIFY(!window_->tableDialog()->isVisible());

        list()->setCurrentRow(2);
        button("renameTableButton")->click();
        QCOMPARE(nameBox()->text(), QStringLiteral("大厅003"));
        QCOMPARE(nameBox()->cursorPosition(), 5);
        list()->setCurrentRow(6); // a click elsewhere while the dialog is open
        nameBox()->setText(QString());
        dialogButton()->click();
        const QStringList names = tableNames(*db_);
        QCOMPARE(names.at(2), QString()); // an existing table may be emptied
        QCOMPARE(names.at(6), QStringLiteral("大厅007"));
        QCOMPARE(list()->item(2)->text(), QString());
        QCOMPARE(changes_, 1);
    }

    void deleteMovesLaterTilesUpWithTheirBills() {
        const QString billId = QStringLiteral("20241212130725");
        WriteSlot(*db_, 8, billId);
        open();
        QStringList names = store_->tableList();
        button("deleteTableButton")->click(); // nothing selected: nothing happens
        QCOMPARE(changes_, 0);
        list()->setCurrentRow(3);
        button("deleteTableButton")->click();
        names.removeAt(3);
        QCOMPARE(store_->tableList(), names);
        QCOMPARE(list()->count(), 12);
        QCOMPARE(list()->item(3)->text(), QStringLiteral("大厅005"));
        QCOMPARE(tableNames(*db_), names);
        QCOMPARE(ReadSlots(*db_, 9).mid(7), (QStringList{billId, QString()}));
        QCOMPARE(changes_, 1);
    }

    void openBillGuard_data() {
        QTest::addColumn<int>("occupiedTable");
        QTest::addColumn<int>("openTable");
        QTest::addColumn<QString>("message");
        QTest::newRow("occupied") << 3 << -1 << "该餐桌尚未结账，不能删除！";
        QTest::newRow("ordering window on a later table") << -1 << 8 << "请先关闭点餐窗口，再删除餐桌！";
    }
    void openBillGuard() {
        QFETCH(int, occupiedTable);
        QFETCH(int, openTable);
        QFETCH(QString, message);
        if (occupiedTable >= 0)
            WriteSlot(*db_, occupiedTable, QStringLiteral("20241212130725"));
        open();
        window_->setOpenTableProbe([openTable] { return openTable; });
        QCOMPARE(SettingsWindow::RemovalMessage(window_->checkRemoval(3)), message);
        list()->setCurrentRow(3);
        const MessageBoxAnswerer answer;
        button("deleteTableButton")->click();
        QCOMPARE(answer.firstText(), message);
        QCOMPARE(tableNames(*db_).size(), 13);
    }

private:
    void open() {
        window_ = std::make_unique<SettingsWindow>(*db_, *store_, [this] { ++changes_; });
        window_->show();
    }
    QLineEdit* box(const char* name) const { return window_->findChild<QLineEdit*>(name); }
    QPushButton* button(const char* name) const { return window_->findChild<QPushButton*>(name); }
    QListWidget* list() const { return window_->findChild<QListWidget*>("tableList"); }
    QLineEdit* nameBox() const { return window_->tableDialog()->findChild<QLineEdit*>("tableNameEdit"); }
    QPushButton* dialogButton() const {
        return window_->tableDialog()->findChild<QPushButton*>("saveTableButton");
    }

    std::unique_ptr<TestHome> home_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<SettingsWindow> window_;
    int changes_ = 0;
};

QTEST_MAIN(SettingsWindowTest)
#include "test_settings_window.moc"
