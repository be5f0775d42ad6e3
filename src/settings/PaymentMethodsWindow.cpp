#include "settings/PaymentMethodsWindow.h"

#include "bill/Payments.h"
#include "store/Database.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kNameRole = Qt::UserRole;
constexpr int kEnabledRole = Qt::UserRole + 1;

} // namespace

PaymentMethodsWindow::PaymentMethodsWindow(Database& db, QWidget* parent)
    : QDialog(parent), db_(db), list_(new QListWidget(this)), nameBox_(new QLineEdit(this)) {
    setObjectName(QStringLiteral("paymentMethodsWindow"));
    setWindowTitle(QStringLiteral("支付方式"));
    list_->setObjectName(QStringLiteral("methodList"));
    list_->setMinimumSize(Px(3600), Px(3600));
    nameBox_->setObjectName(QStringLiteral("methodNameBox"));
    nameBox_->setMaxLength(20);
    FrameControl(nameBox_);

    auto* add = NamedButton(QStringLiteral("新增"), "addMethodButton", this);
    auto* rename = NamedButton(QStringLiteral("改名"), "renameMethodButton", this);
    auto* up = NamedButton(QStringLiteral("上移"), "moveUpButton", this);
    auto* down = NamedButton(QStringLiteral("下移"), "moveDownButton", this);
    toggleButton_ = NamedButton(QStringLiteral("停用"), "toggleMethodButton", this);
    auto* close = NamedButton(QStringLiteral("关闭"), "closeButton", this);
    connect(add, &QPushButton::clicked, this, &PaymentMethodsWindow::addMethod);
    connect(rename, &QPushButton::clicked, this, &PaymentMethodsWindow::renameSelected);
    connect(up, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(down, &QPushButton::clicked, this, [this] { moveSelected(1); });
    connect(toggleButton_, &QPushButton::clicked, this, &PaymentMethodsWindow::toggleSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        nameBox_->setText(item ? item->data(kNameRole).toString() : QString());
        const bool enabled = !item || item->data(kEnabledRole).toBool();
        toggleButton_->setText(enabled ? QStringLiteral("停用") : QStringLiteral("启用"));
    });

    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {up, down, toggleButton_})
        buttons->addWidget(button);
    buttons->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(list_, 1);
    top->addLayout(buttons);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(QStringLiteral("名称："), this));
    nameRow->addWidget(nameBox_, 1);
    nameRow->addWidget(add);
    nameRow->addWidget(rename);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(QStringLiteral("停用的方式结账时不再出现，已收的款照旧。"), this), 1);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(nameRow);
    layout->addLayout(bottom);
    change(QString(), [] {});
}

QString PaymentMethodsWindow::selectedName() const {
    const QListWidgetItem* item = list_->currentItem();
    return item ? item->data(kNameRole).toString() : QString();
}

void PaymentMethodsWindow::change(const QString& selectAfter, const std::function<void()>& edit) {
    try {
        edit();
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("支付方式没有修改：") + error.text());
        ShowMessage(this, error.text());
    }
    try {
        showMethods(selectAfter.isEmpty() ? selectedName() : selectAfter);
    } catch (const StoreError& error) {
        ShowMessage(this, QStringLiteral("支付方式读取失败。\n") + error.text());
    }
}

void PaymentMethodsWindow::showMethods(const QString& select) {
    const Transaction reading(db_, Transaction::Kind::Read);
    const QList<PaymentMethod> methods = PaymentBook(db_).methods();
    list_->clear();
    for (const PaymentMethod& method : methods) {
        QString text = method.name;
        if (method.cash)
            text += QStringLiteral("（可找零）");
        if (!method.enabled)
            text += QStringLiteral("（停用）");
        auto* item = new QListWidgetItem(text, list_);
        item->setData(kNameRole, method.name);
        item->setData(kEnabledRole, method.enabled);
        if (method.name == select)
            list_->setCurrentItem(item);
    }
}

void PaymentMethodsWindow::addMethod() {
    const QString name = nameBox_->text().trimmed();
    change(name, [&] { PaymentBook(db_).addMethod(name); });
}

void PaymentMethodsWindow::renameSelected() {
    const QString from = selectedName();
    if (from.isEmpty())
        return;
    const QString to = nameBox_->text().trimmed();
    change(to, [&] { PaymentBook(db_).renameMethod(from, to); });
}

void PaymentMethodsWindow::moveSelected(int step) {
    const QString name = selectedName();
    if (!name.isEmpty())
        change(name, [&] { PaymentBook(db_).moveMethod(name, step); });
}

void PaymentMethodsWindow::toggleSelected() {
    const QListWidgetItem* item = list_->currentItem();
    if (!item)
        return;
    const QString name = item->data(kNameRole).toString();
    const bool enable = !item->data(kEnabledRole).toBool();
    change(name, [&] { PaymentBook(db_).setMethodEnabled(name, enable); });
}
