#pragma once

#include "bill/Payments.h"

#include <QDialog>
#include <optional>

class Database;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The payment step of 结账离开 "收款": the amount due large, the payments taken so far, a method and an
// amount (typed, the amount still due, or a round note), and 还差 and 找零 large. 确定 only once the
// payments cover the amount; 取消 takes nothing.
class PaymentDialog : public QDialog {
    Q_OBJECT
public:
    PaymentDialog(const QList<PaymentMethod>& methods, qint64 due, QWidget* parent = nullptr);

    const PaymentTally& tally() const { return tally_; }
    // Chooses the method the next payment uses; false when there is none of that name.
    bool chooseMethod(const QString& name);
    // Chooses the cash method (else the first one).
    void chooseCash();
    // Adds a payment of the chosen method; a refusal shows in the dialog, and nothing is added.
    bool addPayment(qint64 amount);

    // Asks for the payments of `due` fen with the enabled methods; `onAccount` (fen typed in the window's
    // 挂账) is put on 挂账 from the start. Nothing when cancelled.
    static std::optional<PaymentTally> Ask(QWidget* parent, Database& db, qint64 due, qint64 onAccount);

private:
    QWidget* buildMethods(const QList<PaymentMethod>& methods);
    QWidget* buildQuickAmounts();
    void addTypedAmount();
    void removeSelectedPayment();
    void showTally();

    QList<PaymentMethod> methods_;
    PaymentTally tally_;
    QButtonGroup* methodButtons_ = nullptr;
    QListWidget* paymentList_ = nullptr;
    QLineEdit* amountEdit_ = nullptr;
    QPushButton* stillDueButton_ = nullptr;
    QLabel* stillDueLabel_ = nullptr;
    QLabel* changeLabel_ = nullptr;
    QLabel* messageLabel_ = nullptr;
    QPushButton* okButton_ = nullptr;
};
