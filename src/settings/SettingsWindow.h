#pragma once

#include "store/Schema.h"

#include "settings/DiningTables.h"

#include <QTime>
#include <QWidget>
#include <functional>

class Database;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QTimeEdit;
class SettingsStore;
class TableDialog;

// The settings window "综合设置": restaurant details and print margins, the login password and the
// list of dining tables. Its boxes show and edit the settings store's copy, so printing sees unsaved edits
// while the window is open; closing the window in any way discards the store, and the next reader fills it
// again from the database.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    // tablesChanged runs after every table add, rename and delete, once the store's table list is read
    // again, so the main window can rebuild its tiles and reread the slots.
    SettingsWindow(Database& db, SettingsStore& store, std::function<void()> tablesChanged,
                   QWidget* parent = nullptr);

    // Tells the window which table has an ordering window open (-1 for none). Deleting that table or one
    // before it is refused while it is open, since the window's save would land in a moved slot.
    void setOpenTableProbe(std::function<int()> probe) { openTable_ = std::move(probe); }
    // Whose password 修改密码 changes: who signed in at this counter.
    void setSignedInStaff(const QString& staffId) { signedInStaff_ = staffId; }

    // Whether list entry `row` may be deleted now (slots read from the database).
    DiningTables::Removal checkRemoval(int row);
    static QString RemovalMessage(DiningTables::Removal removal);

    QListWidget* tableList() const { return list_; }
    TableDialog* tableDialog() const { return dialog_; }
    DiningTables& tables() { return tables_; }

    void openStaff();          // 员工: the 店长's list of staff accounts
    void openPaymentMethods(); // 支付方式: the 店长 edits the ways bills are paid
    void openTrail();          // 操作记录: the 店长 reads the action trail
    void addTable();           // 新增
    void renameTable();        // 修改
    void deleteTable();        // 删除
    bool save();               // 保  存
    void changePassword();     // 修改密码
Q_SIGNALS:
    // 打印机 was pressed: the printers page belongs to the printing side, which opens it over this window.
    void printersRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildTableGroup();
    QWidget* buildDetailsGroup();
    QWidget* buildPasswordGroup();
    QLineEdit* addBox(const char* name);
    void showStore();
    void fillList();
    void select(int row);
    void tablesEdited();
    int openTable() const;
    void reportFailure(const QString& what, const QString& why);
    // True when a 店长 signed in at this counter; else says `refusal` (or why the account could not be read).
    bool ownerSignedIn(const QString& refusal);

    Database& db_;
    SettingsStore& store_;
    DiningTables tables_;
    std::function<void()> tablesChanged_;
    std::function<int()> openTable_;

    QListWidget* list_ = nullptr;
    QLineEdit* nameBox_ = nullptr;
    QLineEdit* addressBox_ = nullptr;
    QLineEdit* phoneBox_ = nullptr;
    QLineEdit* leftMarginBox_ = nullptr;
    QLineEdit* topMarginBox_ = nullptr;
    QTimeEdit* dayEndBox_ = nullptr; // 营业日结束
    QTime storedDayEnd_;
    QCheckBox* orderAlertBox_ = nullptr; // 新单提醒
    bool storedOrderAlert_ = false;
    QLineEdit* oldPasswordBox_ = nullptr;
    QLineEdit* newPasswordBox_ = nullptr;
    TableDialog* dialog_ = nullptr;

    // The entry last selected: its key (编号) and name.
    QString selectedKey_;
    QString selectedName_;
    QString signedInStaff_ = kFirstStaffId;
};
