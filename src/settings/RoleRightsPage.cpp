#include "settings/RoleRightsPage.h"

#include "settings/RoleRights.h"
#include "settings/StaffAccounts.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

RoleRightsPage::RoleRightsPage(Database& db, QWidget* parent)
    : QWidget(parent), db_(db), discountLimitBox_(new QLineEdit(this)) {
    setObjectName(QStringLiteral("roleRightsPage"));
    auto* save = NamedButton(QStringLiteral("保  存"), "saveRightsButton", this);
    connect(save, &QPushButton::clicked, this, &RoleRightsPage::save);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buildGrid());
    layout->addSpacing(8);
    layout->addLayout(buildDiscountLimitRow());
    layout->addStretch();
    layout->addLayout(buttons);
    showStored();
}

QString RoleRightsPage::boxKey(const QString& role, const QString& right) {
    return role + QLatin1Char('/') + right;
}

QLayout* RoleRightsPage::buildGrid() {
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(24);
    grid->addWidget(new QLabel(QStringLiteral("权限"), this), 0, 0);
    for (int column = 0; column < kStaffRoles.size(); ++column)
        grid->addWidget(new QLabel(kStaffRoles.at(column), this), 0, column + 1, Qt::AlignHCenter);
    for (int row = 0; row < StaffRights().size(); ++row) {
        const QString& right = StaffRights().at(row);
        grid->addWidget(new QLabel(right, this), row + 1, 0);
        for (int column = 0; column < kStaffRoles.size(); ++column) {
            const QString& role = kStaffRoles.at(column);
            auto* box = new QCheckBox(this);
            box->setToolTip(role + QStringLiteral("：") + right);
            // The 店长's rights cannot be taken away, so their column only shows them.
            box->setEnabled(role != kRoleOwner);
            boxes_.insert(boxKey(role, right), box);
            grid->addWidget(box, row + 1, column + 1, Qt::AlignHCenter);
        }
    }
    grid->setColumnStretch(kStaffRoles.size() + 1, 1);
    return grid;
}

QLayout* RoleRightsPage::buildDiscountLimitRow() {
    discountLimitBox_->setObjectName(QStringLiteral("discountLimitEdit"));
    discountLimitBox_->setMaxLength(10);
    discountLimitBox_->setFixedWidth(80);
    FrameControl(discountLimitBox_);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("收银员折扣下限："), this));
    row->addWidget(discountLimitBox_);
    row->addStretch();
    auto* rows = new QVBoxLayout;
    rows->addLayout(row);
    rows->addWidget(new QLabel(QStringLiteral("0 表示不限；0.8 表示最低打八折，再低要店长批准。"), this));
    return rows;
}

QCheckBox* RoleRightsPage::rightBox(const QString& role, const QString& right) const {
    return boxes_.value(boxKey(role, right));
}

void RoleRightsPage::showStored() {
    try {
        for (const QString& role : kStaffRoles)
            for (const QString& right : StaffRights())
                rightBox(role, right)->setChecked(RoleAllows(db_, role, right));
        discountLimitBox_->setText(DiscountLimit(db_));
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("角色权限读取失败：") + error.text());
        ShowMessage(this, QStringLiteral("角色权限读取失败。\n") + error.text());
    }
}

bool RoleRightsPage::save() {
    QList<RoleRight> rights;
    for (const QString& role : kStaffRoles)
        if (role != kRoleOwner)
            for (const QString& right : StaffRights())
                rights.append({role, right, rightBox(role, right)->isChecked()});
    try {
        SaveRoleRights(db_, rights, discountLimitBox_->text());
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("角色权限未保存：") + error.text());
        ShowMessage(this, QStringLiteral("角色权限未保存。\n") + error.text());
        return false;
    }
    showStored();
    ShowMessage(this, QStringLiteral("角色权限已保存。"));
    return true;
}
