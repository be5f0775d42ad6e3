#include "bill/KitchenLedger.h"

#include "store/Database.h"
#include "store/NumberText.h"
#include "store/Schema.h"

#include <QMap>

namespace {

// Sums the rows of each line and printer, in the order they were written.
QHash<QString, QList<KitchenHolding>> Holdings(Statement& rows) {
    QHash<QString, QMap<QString, std::pair<DecimalSum, KitchenHolding>>> sums;
    QHash<QString, QStringList> printerOrder;
    while (rows.next()) {
        const QString lineId = rows.text(0);
        const QString printer = rows.text(1);
        auto& [sum, holding] = sums[lineId][printer];
        if (holding.printer.isEmpty())
            printerOrder[lineId].append(printer);
        holding.printer = printer;
        sum.add(rows.text(2));
        holding.lastTicket = rows.text(3);
        holding.lastTime = rows.text(4);
    }
    QHash<QString, QList<KitchenHolding>> holdings;
    for (auto line = sums.begin(); line != sums.end(); ++line)
        for (const QString& printer : printerOrder.value(line.key())) {
            auto [sum, holding] = line.value().value(printer);
            holding.quantity = sum.text();
            holdings[line.key()].append(holding);
        }
    return holdings;
}

} // namespace

QHash<QString, QList<KitchenHolding>> KitchenLedger::holdings(const QString& billId) {
    Statement rows(db_, "SELECT \"序号\", \"打印机\", \"数量\", \"单号\", \"时间\" FROM \"送厨记录\" "
                        "WHERE \"账单\" = ? ORDER BY rowid");
    rows.bind(1, billId);
    return Holdings(rows);
}

QList<KitchenHolding> KitchenLedger::holdingsOfLine(const QString& billId, const QString& lineId) {
    Statement rows(db_, "SELECT \"序号\", \"打印机\", \"数量\", \"单号\", \"时间\" FROM \"送厨记录\" "
                        "WHERE \"账单\" = ? AND \"序号\" = ? ORDER BY rowid");
    rows.bind(1, billId).bind(2, lineId);
    return Holdings(rows).value(lineId);
}

QHash<QString, QString> KitchenLedger::quantities(const QString& billId) {
    QHash<QString, QString> quantities;
    const QHash<QString, QList<KitchenHolding>> all = holdings(billId);
    for (auto line = all.cbegin(); line != all.cend(); ++line) {
        double most = 0;
        QString text = QStringLiteral("0");
        for (const KitchenHolding& holding : line.value())
            if (ReadNumber(holding.quantity) > most) {
                most = ReadNumber(holding.quantity);
                text = holding.quantity;
            }
        quantities.insert(line.key(), text);
    }
    return quantities;
}

void KitchenLedger::record(const QString& billId, const QString& lineId, const QString& printer,
                           const QString& jobId, int number, const QString& quantity, const QDateTime& at) {
    CheckWidths(QStringLiteral("送厨记录"), {{"打印机", printer}, {"数量", quantity}});
    Statement add(db_,
                  "INSERT INTO \"送厨记录\" (\"序号\", \"账单\", \"打印机\", \"任务\", \"单号\", \"数量\", "
                  "\"时间\") VALUES (?, ?, ?, ?, ?, ?, ?)");
    add.bind(1, lineId).bind(2, billId).bind(3, printer).bind(4, jobId).bind(5, QString::number(number));
    add.bind(6, quantity).bind(7, at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))).run();
}

void KitchenLedger::forgetLine(const QString& billId, const QString& lineId) {
    Statement remove(db_, "DELETE FROM \"送厨记录\" WHERE \"账单\" = ? AND \"序号\" = ?");
    remove.bind(1, billId).bind(2, lineId).run();
}

void KitchenLedger::renamePrinter(const QString& oldName, const QString& newName) {
    Statement rename(db_, "UPDATE \"送厨记录\" SET \"打印机\" = ? WHERE \"打印机\" = ?");
    rename.bind(1, newName).bind(2, oldName).run();
}

void KitchenLedger::forgetBill(const QString& billId) {
    Statement remove(db_, "DELETE FROM \"送厨记录\" WHERE \"账单\" = ?");
    remove.bind(1, billId).run();
}
