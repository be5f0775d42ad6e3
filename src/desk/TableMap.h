#pragma once

#include "bill/BillStore.h"
#include "bill/TableRegroup.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QStringList>

class Database;
class SettingsStore;

inline constexpr int kSlotCount = 46;
inline constexpr int kTileCount = 45;

// The dining tables as the main window shows them: their names, which ones are occupied (a copy of the
// occupation slots as last read), the selected tile, and where the tiles go.
class TableMap : public QObject {
    Q_OBJECT
public:
    TableMap(Database& db, SettingsStore& settings);

    int selectedTile() const { return selectedTile_; }
    void selectTile(int index);
    int tableCount();
    QString tableName(int index);
    // The bill id a table's slot held when last read, or empty.
    QString slotValue(int index) const { return slots_.value(index); }
    // A table is occupied when its slot holds a 14-character bill id.
    bool isOccupied(int index) const;

    // What an occupied tile shows beside its name: the bill's 应收 and how long the table has been open,
    // "¥128 · 45分"; empty for a free table.
    QString tileStatus(int index, const QDateTime& now) const;

    // Reads the slots of the listed tables from the database.
    void refreshSlots();
    // The same, telling the tiles only when a slot differs from the copy in memory.
    void refreshSlotsIfChanged();
    // Reads the 应收 of the occupied tables' bills, telling the tiles when one changed.
    void refreshBills();
    // Takes a slot the bill document has just stored, and tells the tiles when it changed.
    void setSlot(int index, const QString& billId);

    // The 应收 an occupied tile shows; nullopt while it shows none.
    std::optional<QString> receivableShown(int index) const;
    // Frees a table: empties its slot and marks its bill as left, in one step. Given the 应收 the tile
    // showed, a bill that no longer holds it is left as it is, and the result says what it holds now.
    BillStore::SettleResult settle(int index, const std::optional<QString>& shownReceivable = std::nullopt);
    // The 应收 the table's bill holds now when it is not the one the tile showed (the tile then shows it);
    // nothing when it is, or nothing was shown.
    std::optional<QString> changedSinceShown(int index, const std::optional<QString>& shownReceivable);
    // Moves the open bill of one table to another, free table, in one step; the moved-to tile is selected.
    using TransferResult = BillStore::TransferResult;
    TransferResult transfer(int source, int target, const QString& approver = QString());
    // 拆单: moves lines (or part of them) of a table's bill to a new bill on a free table, which is then
    // selected; 并台 joins other tables' bills into one; 撤销并台 gives them back. Each is one step (see
    // TableRegroup); StoreError says why one was refused, and the tiles show the tables as stored.
    QString split(int source, int target, const QList<SplitPart>& parts, const QString& approver = QString());
    void merge(int target, const QList<int>& sources, const QString& approver = QString());
    void undoMerge(int target, const QString& approver = QString());
    // The tables whose bills were joined into this table's bill, while 撤销并台 can give them back.
    QList<int> mergedInto(int target);
    // Who works at this counter (工号), for the action trail.
    void setActor(const QString& staffId) { actor_ = staffId; }

    // Tile positions in twips for a tile area of the given width, by the flow rule: tile i goes right of
    // tile i-1 while two tile widths still fit, else to the start of the next row.
    static QList<QPoint> FlowTiles(int areaWidthTwips, int count = kTileCount);
    // The table a cashier means by typing the start of its name (or its number) over the tiles: the first
    // named exactly so, else the first whose name starts so, else whose number is it ("3" is 大厅3 or
    // 大厅003, not 大厅13), else whose name holds it; -1 for none. Letters match either case.
    static int FindTyped(const QStringList& names, const QString& typed);
    static constexpr int kTileWidth = 1515;
    static constexpr int kTileHeight = 1755;

Q_SIGNALS:
    void slotsChanged();
    void billsChanged();
    void selectionChanged(int index);

private:
    Database& db_;
    QString actor_;
    SettingsStore& settings_;
    QStringList slots_;
    QHash<QString, QString> receivables_; // 应收 by bill id, of the occupied tables
    int selectedTile_ = 0;
};
