#pragma once

#include "order/OrderLine.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QStringList>

class Database;
class SettingsStore;

// Everything an ordering window is filled with when it opens: the bill's header fields and its lines.
struct OpenedBill {
    QString tableName;  // text1
    QString billId;     // Label6
    QString openedText; // Label7, "yyyy-mm-dd hh:mm"
    QString phone;      // Text3
    QString name;       // Text4
    QString remark;     // Text5
    QString dishes;     // Text6
    QString drinks;     // Text7
    QString others;     // Text8
    QString receivable; // text9
    QString received;   // Text10
    QString credit;     // Text12
    QString storedDate; // 日期 of the bill row
    QList<OrderLine> lines;
};

inline constexpr int kSlotCount = 46;
inline constexpr int kTileCount = 45;

// The table map's state, shared with the ordering window: the copy of the occupation slots, which table
// and bill are open, whether the bill came from the history list, and the selected tile.
class TableMap : public QObject {
    Q_OBJECT
public:
    TableMap(Database& db, SettingsStore& settings);

    QStringList SlotIds;     // 46 entries; a slot is occupied when its text is 14 characters long
    int OpenTableIndex = -1; // table whose bill is open, -1 before the first opening
    QString OpenSlotValue;   // text stored in that table's slot when the bill is saved
    bool EditingHistory = false;

    int selectedTile() const { return selectedTile_; }
    void selectTile(int index);
    int tableCount();
    QString tableName(int index);
    bool isOccupied(int index) const;

    // Reads the slots of the listed tables from the database.
    void refreshSlots();
    // The same, telling the tiles only when a slot differs from the copy in memory.
    void refreshSlotsIfChanged();
    // Frees a table: empties its slot and marks its bill as left, in one transaction.
    void settleAndFree(int index);
    // Loads what the ordering window shows for a table: its open bill, or a new bill opened at `now`.
    OpenedBill openTable(int index, const QDateTime& now);
    // Loads a closed bill chosen in the history list; its save will leave slots and 退桌状态 alone.
    OpenedBill reopenBill(const QString& billId);
    // Moves the open bill of one table to another, free table, in one transaction. Slots are read afresh
    // from the database, so a table a phone has just occupied is not taken.
    enum class TransferResult { Moved, TargetOccupied, SourceFree };
    TransferResult transfer(int source, int target);
    // Sets a slot in memory after the ordering window stored it, and tells the tiles.
    void setSlot(int index, const QString& billId);

    // A bill id that no bill row and no slot uses yet, starting from the given time.
    QString newBillId(const QDateTime& now);

    // Tile positions in twips for a tile area of the given width, by the flow rule: tile i goes right of
    // tile i-1 while two tile widths still fit, else to the start of the next row.
    static QList<QPoint> FlowTiles(int areaWidthTwips, int count = kTileCount);
    static constexpr int kTileWidth = 1515;
    static constexpr int kTileHeight = 1755;

Q_SIGNALS:
    void slotsChanged();
    void selectionChanged(int index);

private:
    Database& db_;
    SettingsStore& settings_;
    int selectedTile_ = 0;
};

// Reads the lines of a bill in display order.
QList<OrderLine> LoadOrderLines(Database& db, const QString& billId);
// Reads the header fields of a bill row into `bill`; false when there is no such row.
bool LoadBillRow(Database& db, const QString& billId, OpenedBill& bill);
