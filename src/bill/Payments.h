#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

class Database;

// The method whose payments go on the customer's account (桌台.挂账金额) rather than into 实收.
inline const QString kCreditMethod = QStringLiteral("挂账");

// Why a payment step refuses a card, phone or account payment above what is still due.
inline const QString kNoChangeForNonCash = QStringLiteral("非现金支付不能找零");

// A way to pay, as 支付方式 holds it.
struct PaymentMethod {
    QString name;
    bool cash = false;
    bool enabled = true;
    bool operator==(const PaymentMethod&) const = default;
};

// One payment of a bill, in fen: what was tendered, and the change given back from it (cash only).
struct Payment {
    QString method;
    qint64 tendered = 0;
    qint64 change = 0;
    bool cash = false;
    qint64 kept() const { return tendered - change; }
    bool operator==(const Payment&) const = default;
};

// The payments taken for one checkout against the amount due. The bill closes once they cover it; a
// non-cash payment never goes beyond what is still due, so change always comes out of the cash.
class PaymentTally {
public:
    explicit PaymentTally(qint64 due) : due_(due) {}

    qint64 due() const { return due_; }
    // Adds a payment; the reason it was refused, empty when it was added.
    QString add(const PaymentMethod& method, qint64 amount);
    void removeAt(int index);

    qint64 tendered() const;
    qint64 stillDue() const { return std::max<qint64>(0, due_ - tendered()); }
    qint64 change() const { return std::max<qint64>(0, tendered() - due_); }
    bool covered() const { return tendered() >= due_; }
    bool hasCash() const;
    // The payments with the change given from the last cash ones.
    QList<Payment> payments() const;
    // What goes to 实收 (all but 挂账, change taken off) and what goes to 挂账金额.
    qint64 received() const;
    qint64 credit() const;

private:
    qint64 due_;
    QList<Payment> payments_;
};

// A payment as stored in 收款: its 序号, and 冲销 the 序号 of the payment a reversal undoes.
struct StoredPayment {
    QString id;
    QString billId;
    Payment payment;
    QString time;
    QString staff;
    QString shift;
    QString reverses;
};

// Who takes the payments and when; `shift` is the cashier's open shift (empty while there is none).
struct PaymentContext {
    QString staff;
    QDateTime time;
    QString shift;
};

// 支付方式 and 收款. Writes run inside the caller's transaction, the checkout's.
class PaymentBook {
public:
    explicit PaymentBook(Database& db) : db_(db) {}

    // Every method in the order the payment step offers them; `enabledOnly` leaves disabled ones out.
    QList<PaymentMethod> methods(bool enabledOnly = false) const;
    // A bill's rows (payments and reversals) in the order they were stored.
    QList<StoredPayment> ofBill(const QString& billId) const;
    // The bill's payments no reversal has undone.
    QList<StoredPayment> standingOf(const QString& billId) const;

    // The 店长's edits of the methods, each one step; a refusal throws StoreError saying why. 现金 stays
    // the cash method and cannot be renamed or disabled, 挂账 keeps its name (it is what goes on account);
    // names are unique. Stored payments keep the name they were taken under.
    void addMethod(const QString& name);
    void renameMethod(const QString& from, const QString& to);
    // Moves a method one place earlier (-1) or later (+1) in the order offered.
    void moveMethod(const QString& name, int step);
    void setMethodEnabled(const QString& name, bool enabled);

    void record(const QString& billId, const QList<Payment>& payments, const PaymentContext& context);
    // Undoes each standing payment of the bill with a row of the negative amounts naming it in 冲销; no
    // payment is ever deleted.
    void reverseAll(const QString& billId, const PaymentContext& context);

private:
    void checkNewName(const QString& name) const;
    void writeOrder(const QList<PaymentMethod>& methods);
    void insert(const QString& billId, const Payment& payment, const PaymentContext& context,
                const QString& reverses);

    Database& db_;
};
