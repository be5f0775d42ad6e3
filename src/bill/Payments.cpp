#include "bill/Payments.h"

#include "store/Database.h"
#include "store/Fen.h"
#include "store/Schema.h"
#include "store/StoreError.h"

#include <QSet>
#include <algorithm>

QString PaymentTally::add(const PaymentMethod& method, qint64 amount) {
    if (amount <= 0)
        return QStringLiteral("金额必须大于 0");
    if (!method.cash && amount > stillDue())
        return kNoChangeForNonCash;
    payments_.append(Payment{method.name, amount, 0, method.cash});
    return {};
}

void PaymentTally::removeAt(int index) {
    if (index >= 0 && index < payments_.size())
        payments_.removeAt(index);
}

qint64 PaymentTally::tendered() const {
    qint64 sum = 0;
    for (const Payment& payment : payments_)
        sum += payment.tendered;
    return sum;
}

bool PaymentTally::hasCash() const {
    return std::ranges::any_of(payments_, &Payment::cash);
}

QList<Payment> PaymentTally::payments() const {
    QList<Payment> given = payments_;
    // Non-cash payments never exceed what was due when they were added, so the cash covers the change.
    qint64 change = this->change();
    for (auto it = given.rbegin(); it != given.rend() && change > 0; ++it) {
        if (!it->cash)
            continue;
        it->change = std::min(change, it->tendered);
        change -= it->change;
    }
    return given;
}

qint64 PaymentTally::received() const {
    qint64 sum = 0;
    for (const Payment& payment : payments())
        if (payment.method != kCreditMethod)
            sum += payment.kept();
    return sum;
}

qint64 PaymentTally::credit() const {
    qint64 sum = 0;
    for (const Payment& payment : payments_)
        if (payment.method == kCreditMethod)
            sum += payment.tendered;
    return sum;
}

QList<PaymentMethod> PaymentBook::methods(bool enabledOnly) const {
    Statement read(db_, "SELECT \"名称\", \"现金\", \"启用\" FROM \"支付方式\" "
                        "ORDER BY CAST(\"排序\" AS INTEGER), \"名称\"");
    QList<PaymentMethod> found;
    while (read.next()) {
        const PaymentMethod method{read.text(0), read.text(1) == QLatin1String("1"),
                                   read.text(2) != QLatin1String("0")};
        if (method.enabled || !enabledOnly)
            found.append(method);
    }
    return found;
}

namespace {

constexpr int kMethodNameWidth = 20;

bool fixedName(const QString& name) {
    return name == kCashMethod || name == kCreditMethod;
}

} // namespace

void PaymentBook::checkNewName(const QString& name) const {
    if (name.isEmpty())
        throw StoreError(QStringLiteral("请输入支付方式的名称。"));
    if (name.size() > kMethodNameWidth)
        throw StoreError(QStringLiteral("支付方式的名称最多 %1 个字。").arg(kMethodNameWidth));
    for (const PaymentMethod& method : methods())
        if (method.name == name)
            throw StoreError(QStringLiteral("已经有支付方式“%1”。").arg(name));
}

void PaymentBook::writeOrder(const QList<PaymentMethod>& methods) {
    for (int i = 0; i < methods.size(); ++i) {
        Statement write(db_, "UPDATE \"支付方式\" SET \"排序\" = ? WHERE \"名称\" = ?");
        write.bind(1, QString::number(i + 1)).bind(2, methods.at(i).name).run();
    }
}

void PaymentBook::addMethod(const QString& name) {
    Transaction step(db_);
    const QString trimmed = name.trimmed();
    checkNewName(trimmed);
    Statement insert(
        db_, "INSERT INTO \"支付方式\" (\"名称\", \"排序\", \"现金\", \"启用\") VALUES (?, ?, '0', '1')");
    insert.bind(1, trimmed).bind(2, QString::number(methods().size() + 1)).run();
    step.commit();
}

void PaymentBook::renameMethod(const QString& from, const QString& to) {
    Transaction step(db_);
    const QString trimmed = to.trimmed();
    if (trimmed == from)
        return;
    if (fixedName(from))
        throw StoreError(QStringLiteral("“%1”不能改名。").arg(from));
    checkNewName(trimmed);
    Statement write(db_, "UPDATE \"支付方式\" SET \"名称\" = ? WHERE \"名称\" = ?");
    write.bind(1, trimmed).bind(2, from).run();
    step.commit();
}

void PaymentBook::moveMethod(const QString& name, int step) {
    Transaction writing(db_);
    QList<PaymentMethod> all = methods();
    const auto at = std::ranges::find(all, name, &PaymentMethod::name);
    if (at == all.end())
        throw StoreError(QStringLiteral("支付方式“%1”已不存在。").arg(name));
    const auto from = static_cast<int>(at - all.begin());
    const int to = from + step;
    if (to < 0 || to >= all.size())
        return;
    all.swapItemsAt(from, to);
    writeOrder(all);
    writing.commit();
}

void PaymentBook::setMethodEnabled(const QString& name, bool enabled) {
    Transaction step(db_);
    const QList<PaymentMethod> all = methods();
    const auto at = std::ranges::find(all, name, &PaymentMethod::name);
    if (at == all.end())
        throw StoreError(QStringLiteral("支付方式“%1”已不存在。").arg(name));
    if (!enabled && at->cash)
        throw StoreError(QStringLiteral("现金不能停用。"));
    Statement write(db_, "UPDATE \"支付方式\" SET \"启用\" = ? WHERE \"名称\" = ?");
    write.bind(1, enabled ? QStringLiteral("1") : QStringLiteral("0")).bind(2, name).run();
    step.commit();
}

QList<StoredPayment> PaymentBook::ofBill(const QString& billId) const {
    Statement read(db_,
                   "SELECT \"序号\", \"方式\", \"金额\", \"找零\", \"时间\", \"工号\", \"班次\", \"冲销\" "
                   "FROM \"收款\" WHERE \"单号\" = ? ORDER BY \"序号\"");
    read.bind(1, billId);
    QList<StoredPayment> rows;
    while (read.next()) {
        StoredPayment row;
        row.id = read.text(0);
        row.billId = billId;
        row.payment.method = read.text(1);
        row.payment.tendered = StoredFen(read.text(2));
        row.payment.change = StoredFen(read.text(3));
        row.payment.cash = row.payment.method == kCashMethod;
        row.time = read.text(4);
        row.staff = read.text(5);
        row.shift = read.text(6);
        row.reverses = read.text(7);
        rows.append(row);
    }
    return rows;
}

QList<StoredPayment> PaymentBook::standingOf(const QString& billId) const {
    const QList<StoredPayment> rows = ofBill(billId);
    QSet<QString> reversed;
    for (const StoredPayment& row : rows)
        if (!row.reverses.isEmpty())
            reversed.insert(row.reverses);
    QList<StoredPayment> standing;
    for (const StoredPayment& row : rows)
        if (row.reverses.isEmpty() && !reversed.contains(row.id))
            standing.append(row);
    return standing;
}

void PaymentBook::insert(const QString& billId, const Payment& payment, const PaymentContext& context,
                         const QString& reverses) {
    // The bill's id and its rows counted so far: unique, since each checkout writes under the write lock.
    Statement count(db_, "SELECT COUNT(*) FROM \"收款\" WHERE \"单号\" = ?");
    count.bind(1, billId);
    const qint64 before = count.next() ? count.integer(0) : 0;
    const QString id =
        billId + QLatin1Char('-') + QString::number(before + 1).rightJustified(3, QLatin1Char('0'));
    Statement row(db_, "INSERT INTO \"收款\" (\"序号\", \"单号\", \"方式\", \"金额\", \"找零\", \"时间\", "
                       "\"工号\", \"班次\", \"冲销\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    row.bind(1, id).bind(2, billId).bind(3, payment.method).bind(4, FenText(payment.tendered));
    row.bind(5, FenText(payment.change))
        .bind(6, context.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    row.bind(7, context.staff).bind(8, context.shift).bind(9, reverses).run();
}

void PaymentBook::record(const QString& billId, const QList<Payment>& payments,
                         const PaymentContext& context) {
    for (const Payment& payment : payments)
        insert(billId, payment, context, QString());
}

void PaymentBook::reverseAll(const QString& billId, const PaymentContext& context) {
    for (const StoredPayment& row : standingOf(billId)) {
        Payment undo = row.payment;
        undo.tendered = -undo.tendered;
        undo.change = -undo.change;
        insert(billId, undo, context, row.id);
    }
}
