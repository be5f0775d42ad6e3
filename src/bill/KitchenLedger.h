#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

class Database;

// What one kitchen printer has of an order line: the quantity its tickets added up to, and the last one.
struct KitchenHolding {
    QString printer;
    QString quantity;   // "2"; "0" once everything was taken back
    QString lastTicket; // the 单号 of the newest ticket
    QString lastTime;   // when it went out, "yyyy-MM-dd HH:mm:ss"
};

// 送厨记录: what the kitchen has of each line of a bill, so a line is sent once, 后厨打印 sends only what
// the kitchen does not have yet, and a line taken back or changed after it went out reaches the printers that
// have it. Writes run inside the caller's step; the rows of a line go when the line goes.
class KitchenLedger {
public:
    explicit KitchenLedger(Database& db) : db_(db) {}

    // Per line id: every printer that has the line.
    QHash<QString, QList<KitchenHolding>> holdings(const QString& billId);
    QList<KitchenHolding> holdingsOfLine(const QString& billId, const QString& lineId);
    // The quantity the kitchen has of each line that went out, per line id (the most any printer has).
    QHash<QString, QString> quantities(const QString& billId);

    // A ticket of `jobId` (单号 `number`) gave `printer` this much more of the line (less when negative).
    void record(const QString& billId, const QString& lineId, const QString& printer, const QString& jobId,
                int number, const QString& quantity, const QDateTime& at);
    void forgetLine(const QString& billId, const QString& lineId);
    void forgetBill(const QString& billId);
    void renamePrinter(const QString& oldName, const QString& newName);

private:
    Database& db_;
};
