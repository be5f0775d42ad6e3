#include "settings/SettingsWindow.h"

#include "settings/Password.h"
#include "settings/PaymentMethodsWindow.h"
#include "settings/SettingsStore.h"
#include "settings/StaffWindow.h"
#include "settings/TableDialog.h"
#include "settings/TrailWindow.h"
#include "store/Database.h"
#include "store/Log.h"
#include "store/Settings.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

SettingsWindow::SettingsWindow(Database& db, SettingsStore& store, std::function<void()> tablesChanged,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), db_(db), store_(store), tables_(db),
      tablesChanged_(std::move(tablesChanged)) {
    setObjectName(QStringLiteral("settingsWindow"));
    setWindowTitle(QStringLiteral("综合设置"));
    setFont(QFont(QStringLiteral("Noto Serif CJK SC"), 9));

    auto* right = new QVBoxLayout;
    right->addWidget(buildDetailsGroup());
    right->addWidget(buildPasswordGroup());
    auto* groups = new QHBoxLayout;
    groups->addWidget(buildTableGroup());
    groups->addLayout(right);

    auto* save = NamedButton(QStringLiteral("保  存"), "saveButton", this);
    auto* cancel = NamedButton(QStringLiteral("取  消"), "cancelButton", this);
    auto* printers = NamedButton(QStringLiteral("打印机"), "printersButton", this);
    connect(printers, &QPushButton::clicked, this, &SettingsWindow::printersRequested);
    auto* staff = NamedButton(QStringLiteral("员  工"), "staffButton", this);
    connect(staff, &QPushButton::clicked, this, &SettingsWindow::openStaff);
    auto* methods = NamedButton(QStringLiteral("支付方式"), "paymentMethodsButton", this);
    connect(methods, &QPushButton::clicked, this, &SettingsWindow::openPaymentMethods);
    auto* trail = NamedButton(QStringLiteral("操作记录"), "trailButton", this);
    connect(trail, &QPushButton::clicked, this, &SettingsWindow::openTrail);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(printers);
    buttons->addWidget(staff);
    buttons->addWidget(methods);
    buttons->addWidget(trail);
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addSpacing(Px(600));
    buttons->addWidget(cancel);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Px(240), Px(240), Px(240), Px(240));
    layout->addLayout(groups);
    layout->addSpacing(Px(120));
    layout->addLayout(buttons);

    dialog_ = new TableDialog(tables_, this);
    connect(dialog_, &TableDialog::saved, this, &SettingsWindow::tablesEdited);
    connect(save, &QPushButton::clicked, this, &SettingsWindow::save);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    try {
        showStore();
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("综合设置读取失败。"), error.text());
    }
    setFixedSize(sizeHint());
}

QLineEdit* SettingsWindow::addBox(const char* name) {
    auto* box = new QLineEdit(this);
    box->setObjectName(QString::fromLatin1(name));
    box->setMinimumWidth(Px(3000));
    FrameControl(box);
    return box;
}

QWidget* SettingsWindow::buildTableGroup() {
    auto* group = new QGroupBox(QStringLiteral("桌台设置"), this);
    list_ = new QListWidget(group);
    list_->setObjectName(QStringLiteral("tableList"));
    list_->setUniformItemSizes(true);
    list_->setMinimumSize(Px(2400), Px(4200));
    FrameControl(list_);
    auto* add = NamedButton(QStringLiteral("新增"), "addTableButton", group);
    auto* rename = NamedButton(QStringLiteral("修改"), "renameTableButton", group);
    auto* remove = NamedButton(QStringLiteral("删除"), "deleteTableButton", group);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {add, rename, remove}) {
        button->setFixedWidth(Px(900));
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(list_);
    layout->addLayout(buttons);

    connect(list_, &QListWidget::currentRowChanged, this, &SettingsWindow::select);
    connect(add, &QPushButton::clicked, this, &SettingsWindow::addTable);
    connect(rename, &QPushButton::clicked, this, &SettingsWindow::renameTable);
    connect(remove, &QPushButton::clicked, this, &SettingsWindow::deleteTable);
    return group;
}

QWidget* SettingsWindow::buildDetailsGroup() {
    auto* group = new QGroupBox(QStringLiteral("综合设置"), this);
    nameBox_ = addBox("restaurantNameEdit");
    addressBox_ = addBox("addressEdit");
    phoneBox_ = addBox("phoneEdit");
    leftMarginBox_ = addBox("leftMarginEdit");
    topMarginBox_ = addBox("topMarginEdit");
    dayEndBox_ = new QTimeEdit(this);
    dayEndBox_->setObjectName(QStringLiteral("businessDayEndEdit"));
    dayEndBox_->setDisplayFormat(QStringLiteral("HH:mm"));
    dayEndBox_->setToolTip(
        QStringLiteral("此时间之前的营业（如凌晨的宵夜）计入前一营业日，日结按营业日统计"));
    FrameControl(dayEndBox_);
    const std::pair<const char*, QWidget*> rows[] = {
        {"餐馆名称", nameBox_},         {"餐馆地址", addressBox_},     {"订餐电话", phoneBox_},
        {"打印左边距", leftMarginBox_}, {"打印上边距", topMarginBox_}, {"营业日结束", dayEndBox_}};
    auto* grid = new QGridLayout(group);
    grid->setVerticalSpacing(Px(150));
    for (int i = 0; i < static_cast<int>(std::size(rows)); ++i) {
        grid->addWidget(new QLabel(QString::fromUtf8(rows[i].first), group), i, 0);
        grid->addWidget(rows[i].second, i, 1);
    }
    orderAlertBox_ = new QCheckBox(QStringLiteral("手机来单时响铃并闪烁餐桌"), group);
    orderAlertBox_->setObjectName(QStringLiteral("orderAlertCheck"));
    orderAlertBox_->setToolTip(QStringLiteral("服务员或顾客用手机下单时，收银台响一声，该桌一直闪烁，"
                                              "直到打开该桌（顾客订单待确认时，直到确认或拒绝）"));
    grid->addWidget(orderAlertBox_, static_cast<int>(std::size(rows)), 0, 1, 2);
    return group;
}

QWidget* SettingsWindow::buildPasswordGroup() {
    auto* group = new QGroupBox(QStringLiteral("修改登录密码"), this);
    oldPasswordBox_ = addBox("oldPasswordEdit");
    newPasswordBox_ = addBox("newPasswordEdit");
    for (QLineEdit* box : {oldPasswordBox_, newPasswordBox_})
        box->setEchoMode(QLineEdit::Password);
    auto* change = NamedButton(QStringLiteral("修改密码"), "changePasswordButton", group);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("原密码"), group), 0, 0);
    grid->addWidget(oldPasswordBox_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("新密码"), group), 1, 0);
    grid->addWidget(newPasswordBox_, 1, 1);
    grid->addWidget(change, 2, 1, Qt::AlignRight);
    connect(change, &QPushButton::clicked, this, &SettingsWindow::changePassword);
    return group;
}

void SettingsWindow::showStore() {
    nameBox_->setText(store_.restaurantName());
    addressBox_->setText(store_.address());
    phoneBox_->setText(store_.phone());
    leftMarginBox_->setText(store_.leftMargin());
    topMarginBox_->setText(store_.topMargin());
    storedDayEnd_ = ReadBusinessDayEnd(db_);
    dayEndBox_->setTime(storedDayEnd_);
    storedOrderAlert_ = ReadNewOrderAlert(db_);
    orderAlertBox_->setChecked(storedOrderAlert_);
    fillList();
    // From here on the boxes are the store's texts: readers see what is typed before it is saved.
    connect(nameBox_, &QLineEdit::textChanged, this,
            [this](const QString& t) { store_.setRestaurantName(t); });
    connect(addressBox_, &QLineEdit::textChanged, this, [this](const QString& t) { store_.setAddress(t); });
    connect(phoneBox_, &QLineEdit::textChanged, this, [this](const QString& t) { store_.setPhone(t); });
    connect(leftMarginBox_, &QLineEdit::textChanged, this,
            [this](const QString& t) { store_.setLeftMargin(t); });
    connect(topMarginBox_, &QLineEdit::textChanged, this,
            [this](const QString& t) { store_.setTopMargin(t); });
}

void SettingsWindow::fillList() {
    const QSignalBlocker quiet(list_);
    list_->clear();
    list_->addItems(store_.tableList());
    // Rows 16 pixels taller than the list's own.
    const int rowHeight = list_->fontMetrics().height() + 16;
    for (int i = 0; i < list_->count(); ++i)
        list_->item(i)->setSizeHint(QSize(0, rowHeight));
    select(-1);
}

void SettingsWindow::select(int row) {
    const QStringList& keys = store_.tableKeys();
    const bool valid = row >= 0 && row < keys.size();
    selectedKey_ = valid ? keys.at(row) : QString();
    selectedName_ = valid ? list_->item(row)->text() : QString();
}

int SettingsWindow::openTable() const {
    return openTable_ ? openTable_() : -1;
}

void SettingsWindow::tablesEdited() {
    try {
        store_.fillTableList();
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("餐桌读取失败。"), error.text());
    }
    fillList();
    if (tablesChanged_)
        tablesChanged_();
}

void SettingsWindow::addTable() {
    if (!DiningTables::RoomForAnother(store_.tableCount())) {
        ShowMessage(this, kTableLimitMessage);
        return;
    }
    try {
        dialog_->openNew(tables_.newKey(QDateTime::currentDateTime()));
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("餐桌读取失败。"), error.text());
    }
}

void SettingsWindow::renameTable() {
    if (selectedKey_.isEmpty()) {
        ShowMessage(this, QStringLiteral("请选择需修改的餐桌！"));
        return;
    }
    dialog_->openFor(selectedKey_, selectedName_);
}

QString SettingsWindow::RemovalMessage(DiningTables::Removal removal) {
    switch (removal) {
    case DiningTables::Removal::Occupied:
        return QStringLiteral("该餐桌尚未结账，不能删除！");
    case DiningTables::Removal::OrderOpen:
        return QStringLiteral("请先关闭点餐窗口，再删除餐桌！");
    case DiningTables::Removal::Ok:
    case DiningTables::Removal::Missing:
        break;
    }
    return {};
}

DiningTables::Removal SettingsWindow::checkRemoval(int row) {
    const QStringList& keys = store_.tableKeys();
    if (row < 0 || row >= keys.size())
        return DiningTables::Removal::Missing;
    return tables_.checkRemoval(keys.at(row), openTable());
}

void SettingsWindow::deleteTable() {
    if (selectedKey_.isEmpty())
        return;
    try {
        const DiningTables::Removal result = tables_.remove(selectedKey_, openTable());
        if (const QString refusal = RemovalMessage(result); !refusal.isEmpty()) {
            ShowMessage(this, refusal);
            return;
        }
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("餐桌未删除。"), error.text());
    }
    // Also after a failure or a table that was already gone: the list then shows what is stored.
    tablesEdited();
}

bool SettingsWindow::save() {
    const QTime dayEnd = dayEndBox_->time();
    if (dayEnd != storedDayEnd_ && !ownerSignedIn(QStringLiteral("只有店长可以修改营业日结束时间。")))
        return false;
    try {
        Transaction step(db_);
        store_.saveDetails();
        if (dayEnd != storedDayEnd_)
            WriteBusinessDayEnd(db_, dayEnd);
        const bool orderAlert = orderAlertBox_->isChecked();
        if (orderAlert != storedOrderAlert_)
            WriteNewOrderAlert(db_, orderAlert);
        step.commit();
        storedDayEnd_ = dayEnd;
        storedOrderAlert_ = orderAlert;
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("综合设置未保存。"), error.text());
        return false;
    }
    close();
    return true;
}

bool SettingsWindow::ownerSignedIn(const QString& refusal) {
    try {
        const std::optional<StaffAccount> signedIn = ReadStaffAccount(db_, signedInStaff_);
        if (!signedIn || signedIn->role != kRoleOwner) {
            ShowMessage(this, refusal);
            return false;
        }
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("员工读取失败。"), error.text());
        return false;
    }
    return true;
}

void SettingsWindow::openStaff() {
    if (!ownerSignedIn(QStringLiteral("只有店长可以管理员工。")))
        return;
    StaffWindow window(db_, this);
    window.exec();
}

void SettingsWindow::openPaymentMethods() {
    if (!ownerSignedIn(QStringLiteral("只有店长可以设置支付方式。")))
        return;
    PaymentMethodsWindow window(db_, this);
    window.exec();
}

void SettingsWindow::openTrail() {
    if (!ownerSignedIn(QStringLiteral("只有店长可以查看操作记录。")))
        return;
    TrailWindow window(db_, this);
    window.exec();
}

void SettingsWindow::changePassword() {
    if (NewPasswordMissing(newPasswordBox_->text())) {
        ShowMessage(this, QStringLiteral("请输入新密码！"));
        return;
    }
    // The window stays open: unsaved edits of the other boxes are kept.
    PasswordChange result = PasswordChange::OldWrong;
    try {
        result = ChangePassword(db_, signedInStaff_, oldPasswordBox_->text(), newPasswordBox_->text());
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("密码未修改。"), error.text());
        return;
    }
    if (result != PasswordChange::Changed) {
        ShowMessage(this, QStringLiteral("原密码不正确，无法修改密码！"));
        return;
    }
    oldPasswordBox_->clear();
    newPasswordBox_->clear();
    ShowMessage(this, QStringLiteral("修改密码成功，请牢记新密码！"));
}

void SettingsWindow::reportFailure(const QString& what, const QString& why) {
    Log::write(what + why);
    ShowMessage(this, what + QLatin1Char('\n') + why);
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
    dialog_->close();
    store_.discard();
    QWidget::closeEvent(event);
}
