#pragma once

#include "order/PaymentDialog.h"
#include "store/Fen.h"

#include <QApplication>
#include <QLabel>
#include <QList>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <utility>

// Answers every payment step (收款) that opens while it lives: the first ones with the given payments
// (method and amount as typed) in order, any later one with the amount still due in cash (its 还差
// button), then 确定; `cancelFirst` cancels the first one instead. It keeps the 应收 each step showed and
// what its payment list held. Polls from its own timer, so steps inside nested event loops are answered.
class PaymentAnswerer : public QObject {
public:
    using Payments = QList<std::pair<QString, QString>>;

    explicit PaymentAnswerer(QList<Payments> answers = {}, bool cancelFirst = false)
        : answers_(std::move(answers)), cancel_(cancelFirst) {
        connect(&timer_, &QTimer::timeout, this, &PaymentAnswerer::answerOpenStep);
        timer_.start(5);
    }
    ~PaymentAnswerer() override { timer_.stop(); }

    // "应收 128" of each step answered.
    const QStringList& dues() const { return dues_; }
    // The refusal each step showed last (empty when none).
    const QStringList& refusals() const { return refusals_; }

private:
    void answerOpenStep() {
        auto* dialog = qobject_cast<PaymentDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        dues_.append(dialog->findChild<QLabel*>(QStringLiteral("dueLabel"))->text());
        if (std::exchange(cancel_, false)) {
            refusals_.append(QString());
            dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
            return;
        }
        const Payments payments = answers_.isEmpty() ? Payments{} : answers_.takeFirst();
        for (const auto& [method, amount] : payments) {
            dialog->chooseMethod(method);
            dialog->addPayment(ParseFen(amount).value_or(0));
        }
        if (payments.isEmpty()) {
            dialog->chooseCash();
            dialog->findChild<QPushButton*>(QStringLiteral("stillDueButton"))->click();
        }
        refusals_.append(dialog->findChild<QLabel*>(QStringLiteral("paymentMessageLabel"))->text());
        auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("okButton"));
        if (ok->isEnabled())
            ok->click();
        else
            dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
    }

    QList<Payments> answers_;
    bool cancel_;
    QStringList dues_;
    QStringList refusals_;
    QTimer timer_;
};
