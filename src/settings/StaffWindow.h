#pragma once

#include "settings/StaffAccounts.h"

#include <QDialog>

class Database;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QTabWidget;
class QTableWidget;
class RoleRightsPage;

// 员工: the 店长 adds staff, changes their name, role and password, and disables or enables them. The
// list shows every account; 新增 and 修改 open the account form below it. The second tab, 角色权限, sets
// what each role may do.
class StaffWindow : public QDialog {
    Q_OBJECT
public:
    explicit StaffWindow(Database& db, QWidget* parent = nullptr);

    QTabWidget* tabs() const { return tabs_; }
    RoleRightsPage* rightsPage() const { return rightsPage_; }
    QTableWidget* list() const { return list_; }
    // The form's boxes, for the 新增 and 修改 steps.
    QLineEdit* idBox() const { return idBox_; }
    QLineEdit* nameBox() const { return nameBox_; }
    QComboBox* roleBox() const { return roleBox_; }
    QCheckBox* enabledBox() const { return enabledBox_; }
    QLineEdit* passwordBox() const { return passwordBox_; }
    QLineEdit* repeatBox() const { return repeatBox_; }

    void startNew();  // 新增: an empty form
    void startEdit(); // 修改: the form filled from the selected account
    bool saveForm();  // 保存: adds or changes; a refusal is said and the form stays

private:
    void showAccounts();
    QWidget* buildAccountsPage();
    QWidget* buildForm();

    Database& db_;
    QTabWidget* tabs_;
    RoleRightsPage* rightsPage_;
    QTableWidget* list_;
    QLineEdit* idBox_;
    QLineEdit* nameBox_;
    QComboBox* roleBox_;
    QCheckBox* enabledBox_;
    QLineEdit* passwordBox_;
    QLineEdit* repeatBox_;
    bool editing_ = false; // the form holds an existing account
};
