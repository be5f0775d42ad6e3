#include "order/PaymentDialog.h"

#include "store/Database.h"
#include "store/Fen.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// Round notes a guest hands over, in yuan.
constexpr int kNotes[] = {10, 20, 50, 100};

QLabel* largeLabel(QWidget* parent, const QString& objectName, int points) {
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    QFont font = label->font();
    font.setPointSize(points);
    font.setBold(true);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: rgb(200,0,0);"));
    return label;
}

QString paymentText(const Payment& payment) {
    QString text = payment.method + QLatin1Char(' ') + FenText(payment.tendered);
    if (payment.change != 0)
        text += QStringLiteral("（找零 %1）").arg(FenText(payment.change));
    return text;
}

} // namespace

PaymentDialog::PaymentDialog(const QList<PaymentMethod>& methods, qint64 due, QWidget* parent)
    : QDialog(parent), methods_(methods), tally_(due) {
    setObjectName(QStringLiteral("paymentDialog"));
    setWindowTitle(QStringLiteral("收款"));

    auto* dueLabel = largeLabel(this, QStringLiteral("dueLabel"), 26);
    dueLabel->setText(QStringLiteral("应收 %1").arg(FenText(due)));
    paymentList_ = new QListWidget(this);
    paymentList_->setObjectName(QStringLiteral("paymentList"));
    paymentList_->setMinimumHeight(110);
    auto* remove = NamedButton(QStringLiteral("删除这笔"), "removePaymentButton", this);
    connect(remove, &QPushButton::clicked, this, &PaymentDialog::removeSelectedPayment);

    amountEdit_ = new QLineEdit(this);
    amountEdit_->setObjectName(QStringLiteral("amountEdit"));
    FrameControl(amountEdit_);
    connect(amountEdit_, &QLineEdit::returnPressed, this, &PaymentDialog::addTypedAmount);
    auto* add = NamedButton(QStringLiteral("加入"), "addPaymentButton", this);
    connect(add, &QPushButton::clicked, this, &PaymentDialog::addTypedAmount);
    auto* amountRow = new QHBoxLayout;
    amountRow->addWidget(new QLabel(QStringLiteral("金额："), this));
    amountRow->addWidget(amountEdit_, 1);
    amountRow->addWidget(add);

    messageLabel_ = new QLabel(this);
    messageLabel_->setObjectName(QStringLiteral("paymentMessageLabel"));
    messageLabel_->setStyleSheet(QStringLiteral("color: rgb(200,0,0);"));
    stillDueLabel_ = largeLabel(this, QStringLiteral("stillDueLabel"), 20);
    changeLabel_ = largeLabel(this, QStringLiteral("changeLabel"), 20);
    auto* totals = new QHBoxLayout;
    totals->addWidget(stillDueLabel_, 1);
    totals->addWidget(changeLabel_, 1);

    okButton_ = NamedButton(QStringLiteral("确定"), "okButton", this);
    auto* cancel = NamedButton(QStringLiteral("取消"), "cancelButton", this);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton_);
    buttons->addWidget(cancel);

    auto* listRow = new QHBoxLayout;
    listRow->addWidget(paymentList_, 1);
    listRow->addWidget(remove, 0, Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(dueLabel);
    layout->addLayout(listRow);
    layout->addWidget(buildMethods(methods));
    layout->addLayout(amountRow);
    layout->addWidget(buildQuickAmounts());
    layout->addWidget(messageLabel_);
    layout->addLayout(totals);
    layout->addLayout(buttons);
    setMinimumWidth(460);
    showTally();
    amountEdit_->setFocus();
}

QWidget* PaymentDialog::buildMethods(const QList<PaymentMethod>& methods) {
    auto* strip = new QWidget(this);
    auto* layout = new QGridLayout(strip);
    layout->setContentsMargins(0, 0, 0, 0);
    methodButtons_ = new QButtonGroup(this);
    constexpr int kPerRow = 4;
    for (int i = 0; i < methods.size(); ++i) {
        auto* button = NamedButton(methods.at(i).name, "methodButton", strip);
        button->setCheckable(true);
        button->setMinimumHeight(32);
        methodButtons_->addButton(button, i);
        layout->addWidget(button, i / kPerRow, i % kPerRow);
    }
    // 现金 is offered first whatever the order: most bills are paid in cash.
    chooseCash();
    return strip;
}

QWidget* PaymentDialog::buildQuickAmounts() {
    auto* strip = new QWidget(this);
    auto* layout = new QHBoxLayout(strip);
    layout->setContentsMargins(0, 0, 0, 0);
    stillDueButton_ = NamedButton(QString(), "stillDueButton", strip);
    stillDueButton_->setMinimumHeight(32);
    connect(stillDueButton_, &QPushButton::clicked, this, [this] { addPayment(tally_.stillDue()); });
    layout->addWidget(stillDueButton_, 2);
    for (const int note : kNotes) {
        auto* button = NamedButton(QString::number(note), "noteButton", strip);
        button->setMinimumHeight(32);
        connect(button, &QPushButton::clicked, this, [this, note] { addPayment(qint64{note} * 100); });
        layout->addWidget(button, 1);
    }
    return strip;
}

bool PaymentDialog::chooseMethod(const QString& name) {
    for (int i = 0; i < methods_.size(); ++i)
        if (methods_.at(i).name == name) {
            methodButtons_->button(i)->setChecked(true);
            return true;
        }
    return false;
}

void PaymentDialog::chooseCash() {
    const auto cash = std::ranges::find_if(methods_, &PaymentMethod::cash);
    if (cash != methods_.end())
        methodButtons_->button(static_cast<int>(cash - methods_.begin()))->setChecked(true);
    else if (!methods_.isEmpty())
        methodButtons_->button(0)->setChecked(true);
}

bool PaymentDialog::addPayment(qint64 amount) {
    const int chosen = methodButtons_->checkedId();
    if (chosen < 0) {
        messageLabel_->setText(QStringLiteral("请先选择支付方式"));
        return false;
    }
    const QString refused = tally_.add(methods_.at(chosen), amount);
    messageLabel_->setText(refused);
    if (!refused.isEmpty())
        return false;
    amountEdit_->clear();
    showTally();
    return true;
}

void PaymentDialog::addTypedAmount() {
    const std::optional<qint64> amount = ParseFen(amountEdit_->text());
    if (!amount) {
        messageLabel_->setText(QStringLiteral("金额请写数字，最多两位小数"));
        return;
    }
    addPayment(*amount);
}

void PaymentDialog::removeSelectedPayment() {
    tally_.removeAt(paymentList_->currentRow());
    messageLabel_->clear();
    showTally();
}

void PaymentDialog::showTally() {
    paymentList_->clear();
    for (const Payment& payment : tally_.payments())
        paymentList_->addItem(paymentText(payment));
    stillDueLabel_->setText(QStringLiteral("还差 %1").arg(FenText(tally_.stillDue())));
    changeLabel_->setText(QStringLiteral("找零 %1").arg(FenText(tally_.change())));
    stillDueButton_->setText(QStringLiteral("还差 %1").arg(FenText(tally_.stillDue())));
    stillDueButton_->setEnabled(tally_.stillDue() > 0);
    okButton_->setEnabled(tally_.covered());
    // Once covered, Enter takes the payments.
    okButton_->setDefault(tally_.covered());
}

std::optional<PaymentTally> PaymentDialog::Ask(QWidget* parent, Database& db, qint64 due, qint64 onAccount) {
    QList<PaymentMethod> methods;
    try {
        const Transaction reading(db, Transaction::Kind::Read);
        methods = PaymentBook(db).methods(true);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("支付方式读取失败：") + error.text());
        ShowMessage(parent, QStringLiteral("支付方式读取失败，没有结账。\n") + error.text());
        return std::nullopt;
    }
    PaymentDialog dialog(methods, due, parent);
    if (onAccount > 0 && dialog.chooseMethod(kCreditMethod))
        dialog.addPayment(std::min(onAccount, due));
    dialog.chooseCash();
    if (dialog.exec() != QDialog::Accepted || !dialog.tally().covered())
        return std::nullopt;
    return dialog.tally();
}
