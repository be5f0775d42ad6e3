#pragma once

#include "bill/BillHeader.h"
#include "bill/BillStore.h"
#include "bill/OrderLine.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

class Database;
class Transaction;

// The open bill: which bill it is (a table's, or a closed one from the history list), its header, its
// lines, and every edit the ordering window and the phone pages make to it. Every line change is stored at
// once, together with the bill row and the table's slot, so nothing already typed is lost if the program
// stops; a change that cannot be stored leaves the document as it was and throws StoreError. Windows
// observe it through its signals.
class BillDocument : public QObject {
    Q_OBJECT
public:
    explicit BillDocument(Database& db, QObject* parent = nullptr);

    // Opens the bill a table's slot holds, or a new bill whose id is the time `now` (stored only once it
    // has something to pay). Reads the slot as stored now.
    void openTable(int table, const QString& tableName, const QDateTime& now);
    // Opens a closed bill chosen in the history list; its saves leave the slots and 退桌状态 alone. Throws
    // StoreError when the bill no longer exists.
    void openClosedBill(const QString& billId);

    // The table whose bill is open; -1 for a closed bill from the history list (or before any opening).
    int table() const { return table_; }
    bool isClosedBill() const { return closedBill_; }
    const QString& billId() const { return header_.billId; }
    const BillHeader& header() const { return header_; }
    const QList<OrderLine>& lines() const { return lines_; }
    QStringList sortKeys() const;
    int selectedLine() const { return selectedLine_; }
    // The discount factor as typed (0.8 is 20 % off); never stored.
    const QString& discount() const { return discount_; }

    // Customer fields as typed; they are stored with the next change or save.
    void setCustomerName(const QString& text) { header_.customerName = text; }
    void setPhone(const QString& text) { header_.phone = text; }
    void setBillRemark(const QString& text) { header_.remark = text; }
    void setReceived(const QString& text) { header_.received = text; }
    void setCredit(const QString& text) { header_.credit = text; }

    // Adds a menu item as a new line; returns its position (lines stay grouped by category).
    int addItem(const MenuRecord& record, const QDateTime& now);
    void setQuantity(int line, const QString& text);
    void setPrice(int line, const QString& text);
    void setRemark(int line, const QString& text);
    void toggleServed(int line);
    // The kitchen mark lives in the document only, never in the database.
    void toggleKitchenMark(int line);
    // Deletes the selected line; nothing happens while no line is selected.
    void deleteSelected();
    // Selects a line; a row past the last line clears the highlight but keeps the previous selection.
    bool selectLine(int row);

    // Runs several edits as one step: either all of them are stored, or none is and the document is as it
    // was before (the StoreError is passed on).
    void runAsOneStep(const std::function<void()>& edits);

    // Sums the lines by category into the header's totals.
    void computeTotals();
    void applyDiscount(const QString& text);
    void fillReceived();
    void fillCredit();

    enum class SaveResult { Saved, NothingToSave };
    // Writes the bill row (and, for a table's bill, its slot) in one step.
    SaveResult save();
    // Marks the bill as left and frees its table at the following save.
    void checkOut();

    // Reads the lines again from the database (a phone may have added some), keeping kitchen marks.
    void reloadLines();

Q_SIGNALS:
    void opened();
    void linesChanged();
    void lineChanged(int line);
    void totalsChanged();
    void selectionChanged(int line);
    // A table's slot now holds this value as stored (the bill id, or empty once the bill has left).
    void slotStored(int table, const QString& value);

private:
    void startEditing(const BillHeader& header, const QList<OrderLine>& lines);
    void changeLine(int index, const OrderLine& changed);
    // Applies an edit to a copy of the line, recomputes its amount and stores it.
    void editLine(int line, const std::function<void(OrderLine&)>& edit);
    // Stores the lines' totals in the bill row and the slot, then commits the step.
    void commitWithBill(Transaction& step);
    // Writes the bill row and slot inside the caller's step; the slot text when it is as stored.
    std::optional<QString> persistBill();
    void announceSlot(const QString& value);

    struct Snapshot {
        BillHeader header;
        QList<OrderLine> lines;
        int selectedLine;
    };
    Snapshot snapshot() const;
    void restore(const Snapshot& saved);

    Database& db_;
    BillStore store_;
    BillHeader header_;
    QList<OrderLine> lines_;
    int selectedLine_ = -1;
    QString discount_;
    QString leaveState_; // 退桌状态 to store: "yes" after checkout

    int table_ = -1;
    bool closedBill_ = false;
    QString slotToStore_; // what the table's slot holds after a save: the bill id, or empty after checkout
    QString slotAtOpen_;  // what the slot held when the bill was opened
    bool rowExistedAtOpen_ = false;

    int stepDepth_ = 0; // edits running inside runAsOneStep
    std::optional<QString> slotToAnnounce_;
};
