#pragma once

#include <QHash>
#include <QWidget>

class Database;
class QCheckBox;
class QLineEdit;

// 角色权限, the second tab of 员工: a check box per right and role, and the 收银员折扣下限. The 店长's column
// is all checked and cannot change; 保存 stores the whole tab in one step.
class RoleRightsPage : public QWidget {
    Q_OBJECT
public:
    explicit RoleRightsPage(Database& db, QWidget* parent = nullptr);

    QCheckBox* rightBox(const QString& role, const QString& right) const;
    QLineEdit* discountLimitBox() const { return discountLimitBox_; }

    void showStored(); // the boxes as stored now
    bool save();       // 保存: a refusal or a failed write is said and the boxes keep what was typed

private:
    QLayout* buildGrid();
    QLayout* buildDiscountLimitRow();
    static QString boxKey(const QString& role, const QString& right);

    Database& db_;
    QHash<QString, QCheckBox*> boxes_; // by boxKey
    QLineEdit* discountLimitBox_;
};
