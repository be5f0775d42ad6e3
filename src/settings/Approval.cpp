#include "settings/Approval.h"

#include "settings/RoleRights.h"
#include "settings/StaffAccounts.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

// The 店长's 工号 and password, asked in one small dialog; nothing when cancelled.
std::optional<std::pair<QString, QString>> askOwner(QWidget* parent, const QString& why) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("approvalDialog"));
    dialog.setWindowTitle(QStringLiteral("需要店长批准"));
    auto* owner = new QLineEdit(&dialog);
    owner->setObjectName(QStringLiteral("ownerIdEdit"));
    owner->setMaxLength(10);
    auto* password = new QLineEdit(&dialog);
    password->setObjectName(QStringLiteral("ownerPasswordEdit"));
    password->setEchoMode(QLineEdit::Password);
    password->setMaxLength(50);
    FrameControl(owner);
    FrameControl(password);
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("店长工号："), owner);
    fields->addRow(QStringLiteral("店长密码："), password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(why + QStringLiteral("请店长输入工号和密码批准。"), &dialog));
    layout->addLayout(fields);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return std::pair(owner->text(), password->text());
}

std::optional<QString> askAndCheckOwner(QWidget* parent, Database& db, const QString& why) {
    const std::optional<std::pair<QString, QString>> owner = askOwner(parent, why);
    if (!owner)
        return std::nullopt;
    if (const std::optional<QString> approver = OwnerApproval(db, owner->first, owner->second))
        return approver;
    ShowMessage(parent, QStringLiteral("店长工号或密码不对，没有批准。"));
    return std::nullopt;
}

void reportFailedApproval(QWidget* parent, const StoreError& error) {
    Log::write(QStringLiteral("批准失败：") + error.text());
    ShowMessage(parent, QStringLiteral("无法批准。\n") + error.text());
}

} // namespace

std::optional<QString> ApproveRight(QWidget* parent, Database& db, const StaffAccount& who,
                                    const QString& right) {
    try {
        if (RoleAllows(db, who.role, right))
            return QString();
        return askAndCheckOwner(parent, db, QStringLiteral("您的角色没有“%1”的权限，").arg(right));
    } catch (const StoreError& error) {
        reportFailedApproval(parent, error);
    }
    return std::nullopt;
}

std::optional<QString> ApproveAsOwner(QWidget* parent, Database& db, const StaffAccount& who,
                                      const QString& why) {
    if (who.role == kRoleOwner)
        return QString();
    try {
        return askAndCheckOwner(parent, db, why);
    } catch (const StoreError& error) {
        reportFailedApproval(parent, error);
    }
    return std::nullopt;
}
