#include "settings/StaffWindow.h"

#include "settings/RoleRightsPage.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

StaffWindow::StaffWindow(Database& db, QWidget* parent)
    : QDialog(parent), db_(db), tabs_(new QTabWidget(this)), rightsPage_(new RoleRightsPage(db, this)),
      list_(new QTableWidget(0, 4, this)), idBox_(new QLineEdit(this)), nameBox_(new QLineEdit(this)),
      roleBox_(new QComboBox(this)), enabledBox_(new QCheckBox(QStringLiteral("启用"), this)),
      passwordBox_(new QLineEdit(this)), repeatBox_(new QLineEdit(this)) {
    setObjectName(QStringLiteral("staffWindow"));
    setWindowTitle(QStringLiteral("员工"));
    tabs_->setObjectName(QStringLiteral("staffTabs"));
    tabs_->addTab(buildAccountsPage(), QStringLiteral("员工"));
    tabs_->addTab(rightsPage_, QStringLiteral("角色权限"));
    auto* close = NamedButton(QStringLiteral("关  闭"), "closeButton", this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(buttons);

    showAccounts();
    startNew();
}

QWidget* StaffWindow::buildAccountsPage() {
    auto* page = new QWidget(this);
    list_->setObjectName(QStringLiteral("staffList"));
    list_->setHorizontalHeaderLabels(
        {QStringLiteral("工号"), QStringLiteral("姓名"), QStringLiteral("角色"), QStringLiteral("状态")});
    list_->verticalHeader()->hide();
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    list_->setMinimumSize(420, 200);

    auto* add = NamedButton(QStringLiteral("新  增"), "addStaffButton", this);
    auto* edit = NamedButton(QStringLiteral("修  改"), "editStaffButton", this);
    auto* save = NamedButton(QStringLiteral("保  存"), "saveStaffButton", this);
    connect(add, &QPushButton::clicked, this, &StaffWindow::startNew);
    connect(edit, &QPushButton::clicked, this, &StaffWindow::startEdit);
    connect(list_, &QTableWidget::cellDoubleClicked, this, &StaffWindow::startEdit);
    connect(save, &QPushButton::clicked, this, &StaffWindow::saveForm);

    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(add);
    listButtons->addWidget(edit);
    listButtons->addStretch();
    auto* formButtons = new QHBoxLayout;
    formButtons->addStretch();
    formButtons->addWidget(save);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(list_);
    layout->addLayout(listButtons);
    layout->addWidget(buildForm());
    layout->addLayout(formButtons);
    return page;
}

QWidget* StaffWindow::buildForm() {
    auto* form = new QWidget(this);
    auto* fields = new QFormLayout(form);
    idBox_->setObjectName(QStringLiteral("staffIdEdit"));
    idBox_->setMaxLength(10);
    nameBox_->setObjectName(QStringLiteral("staffNameEdit"));
    nameBox_->setMaxLength(50);
    roleBox_->setObjectName(QStringLiteral("staffRoleBox"));
    roleBox_->addItems(kStaffRoles);
    enabledBox_->setObjectName(QStringLiteral("staffEnabledBox"));
    for (QLineEdit* box : {passwordBox_, repeatBox_}) {
        box->setEchoMode(QLineEdit::Password);
        box->setMaxLength(50);
    }
    passwordBox_->setObjectName(QStringLiteral("staffPasswordEdit"));
    repeatBox_->setObjectName(QStringLiteral("staffRepeatEdit"));
    for (QWidget* box : {static_cast<QWidget*>(idBox_), static_cast<QWidget*>(nameBox_),
                         static_cast<QWidget*>(passwordBox_), static_cast<QWidget*>(repeatBox_)})
        FrameControl(box);
    fields->addRow(QStringLiteral("工号："), idBox_);
    fields->addRow(QStringLiteral("姓名："), nameBox_);
    fields->addRow(QStringLiteral("角色："), roleBox_);
    fields->addRow(QString(), enabledBox_);
    fields->addRow(QStringLiteral("密码："), passwordBox_);
    fields->addRow(QStringLiteral("再输一次："), repeatBox_);
    return form;
}

void StaffWindow::showAccounts() {
    QList<StaffAccount> accounts;
    try {
        accounts = ReadStaffAccounts(db_);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("员工读取失败：") + error.text());
        ShowMessage(this, QStringLiteral("员工读取失败。\n") + error.text());
    }
    list_->setRowCount(static_cast<int>(accounts.size()));
    for (int row = 0; row < accounts.size(); ++row) {
        const StaffAccount& account = accounts.at(row);
        const QStringList cells{account.id, account.name, account.role,
                                account.enabled ? QStringLiteral("启用") : QStringLiteral("停用")};
        for (int column = 0; column < cells.size(); ++column) {
            auto* cell = new QTableWidgetItem(cells.at(column));
            // A name longer than its column reads whole on the pointer.
            cell->setToolTip(cells.at(column));
            list_->setItem(row, column, cell);
        }
    }
}

void StaffWindow::startNew() {
    editing_ = false;
    idBox_->setReadOnly(false);
    for (QLineEdit* box : {idBox_, nameBox_, passwordBox_, repeatBox_})
        box->clear();
    roleBox_->setCurrentText(kRoleWaiter);
    enabledBox_->setChecked(true);
    passwordBox_->setPlaceholderText(QString());
    idBox_->setFocus();
}

void StaffWindow::startEdit() {
    const int row = list_->currentRow();
    if (row < 0) {
        ShowMessage(this, QStringLiteral("请先选择要修改的员工。"));
        return;
    }
    editing_ = true;
    idBox_->setText(list_->item(row, 0)->text());
    idBox_->setReadOnly(true);
    nameBox_->setText(list_->item(row, 1)->text());
    roleBox_->setCurrentText(list_->item(row, 2)->text());
    enabledBox_->setChecked(list_->item(row, 3)->text() == QStringLiteral("启用"));
    passwordBox_->clear();
    repeatBox_->clear();
    passwordBox_->setPlaceholderText(QStringLiteral("不改密码请留空"));
    nameBox_->setFocus();
}

bool StaffWindow::saveForm() {
    if (passwordBox_->text() != repeatBox_->text()) {
        ShowMessage(this, QStringLiteral("两次输入的密码不一样。"));
        return false;
    }
    const StaffEdit edit{idBox_->text(), nameBox_->text(), roleBox_->currentText(), enabledBox_->isChecked(),
                         passwordBox_->text()};
    try {
        if (editing_)
            UpdateStaffAccount(db_, edit);
        else
            AddStaffAccount(db_, edit);
    } catch (const StoreError& error) {
        ShowMessage(this, QStringLiteral("员工未保存。\n") + error.text());
        return false;
    }
    showAccounts();
    ShowMessage(this, QStringLiteral("员工 %1 已保存。").arg(edit.id.trimmed()));
    startNew();
    return true;
}
