#pragma once

#include "main/TableMap.h"
#include "order/OrderLine.h"
#include "settings/SettingsStore.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

class Database;
class Transaction;

// The bill of one ordering window: its header fields, its lines, the menu list beside it, and the rules for
// totals, saving and checkout. Every line change is written to 明细 at once, together with the bill row and
// the table's slot, so nothing already typed is lost if the program stops.
class OrderSession : public QObject {
    Q_OBJECT
public:
    OrderSession(Database& db, TableMap& tables);

    // Fills the session with an opened bill and computes the totals.
    void open(const OpenedBill& bill);

    // Header fields, as texts (the names of the window's boxes in comments).
    QString tableName;  // text1
    QString billId;     // Label6
    QString openedText; // Label7
    QString phone;      // Text3
    QString name;       // Text4
    QString remark;     // Text5
    QString dishes;     // Text6
    QString drinks;     // Text7
    QString others;     // Text8
    QString receivable; // text9
    QString received;   // Text10
    QString discount;   // Text11
    QString credit;     // Text12
    QString LeaveState;

    const QList<OrderLine>& lines() const { return lines_; }
    const QStringList& sortKeys() const { return sortKeys_; }
    int SelectedRow = -1;

    // Menu list of the current category or search (the records behind the list lines).
    const QString& category() const { return category_; }
    const QList<MenuRecord>& menu() const { return menu_; }
    void chooseCategory(const QString& category);
    void search(const QString& text);

    // Adds the menu record at menuIndex as a new line; returns its position, or -1 when nothing was chosen.
    int addItem(int menuIndex, const QDateTime& now);
    void setQuantity(int line, const QString& text);
    void setPrice(int line, const QString& text);
    void setRemark(int line, const QString& text);
    void toggleServed(int line);
    void toggleKitchenMark(int line);
    // Deletes the selected line; nothing happens while no line is selected.
    void deleteSelected();
    // Selects a line; a row past the last line clears the highlight but keeps the previous selection.
    bool xz(int row);

    void computeTotals();
    void applyDiscount(const QString& text);
    void fillReceived();
    void fillCredit();

    enum class SaveResult { Saved, NothingToSave };
    // Writes the bill row (and, for a table opened from the map, its slot) in one transaction.
    SaveResult save();
    // Marks the bill as left and frees its table at the following save.
    void checkout();

    // Reads the lines again from the database (a phone may have added some), keeping kitchen marks.
    void reloadLines();

Q_SIGNALS:
    void linesChanged();
    void lineChanged(int line);
    void totalsChanged();
    void menuChanged();
    void selectionChanged(int line);

private:
    void writeLine(const OrderLine& line, bool insert);
    void changeLine(int index, const OrderLine& changed);
    // Applies an edit to a copy of the line, recomputes its amount and stores it.
    void editLine(int line, const std::function<void(OrderLine&)>& edit);
    // Writes the bill row and slot inside the caller's transaction; the slot text when it was written.
    std::optional<QString> persistBill();
    void writeBillRow(bool insert);
    void commitWithBill(Transaction& transaction);
    struct Snapshot {
        QList<OrderLine> lines;
        QStringList sortKeys;
        int selectedRow;
    };
    Snapshot snapshot() const;
    void restore(const Snapshot& saved);
    QString uniqueLineId(const QDateTime& now, int linesBefore);
    QString billDate() const;

    Database& db_;
    TableMap& tables_;
    QList<OrderLine> lines_;
    QStringList sortKeys_;
    QString category_;
    QList<MenuRecord> menu_;
    QString slotAtOpen_;
    bool rowExistedAtOpen_ = false;
};

// The logic behind one ordering window on a connection: the settings, the table map and the bill. The LAN
// server builds one per request, so a phone's change goes through exactly the counter's rules.
struct OrderDesk {
    explicit OrderDesk(Database& db) : settings(db), tables(db, settings), session(db, tables) {}
    SettingsStore settings;
    TableMap tables;
    OrderSession session;
};
