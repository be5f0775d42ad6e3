#pragma once

#include <QDateTime>
#include <QString>

class Database;

inline const QString kTableLimitMessage = QStringLiteral("最多桌数不能超过45桌！");

// The rows of 餐桌设置 as the settings window edits them. A table is found by its key 编号, never by its
// place in a list; the rows in the order they were added are tables 0, 1, 2 …, and table i owns the
// occupation slot i of 综合设置.
class DiningTables {
public:
    explicit DiningTables(Database& db) : db_(db) {}

    // Whether a table may be added to tableCount tables: the main window has tiles for kMaxTables.
    static bool RoomForAnother(int tableCount);

    // Key for a new table: the time as "yyyyMMddhhmmss", moved on by a second while a row holds it, so two
    // tables added within one second never share a key.
    QString newKey(const QDateTime& now) const;

    enum class SaveResult {
        Saved,
        NameMissing, // a new table needs a name
        TooMany,     // a new table would be a 46th, which no tile could show
    };
    // Writes the name, blanks removed at both ends, of the table with this key; a key no row holds adds a
    // table at the end. An existing table may be given an empty name. A name longer than its column throws
    // StoreError and nothing is written.
    SaveResult save(const QString& key, const QString& typedName);

    enum class Removal {
        Ok,
        Missing,   // no row holds the key
        Occupied,  // the table's own slot holds an open bill
        OrderOpen, // an ordering window is open for this table or a later one, whose slot would move
    };
    // Whether the table with this key may be deleted now. openTable is the table whose ordering window is
    // open (-1 for none); its bill is written to that table's slot when the window saves.
    Removal checkRemoval(const QString& key, int openTable = -1);
    // Deletes the table and moves the slot of every later table up with its row, in one transaction, so
    // each open bill stays with its own table. Returns Ok when the table was deleted; otherwise nothing
    // changed.
    Removal remove(const QString& key, int openTable = -1);

    // Place of the table with this key among all rows (0-based), or -1.
    int position(const QString& key) const;
    int rowCount() const;

private:
    Removal check(int openTable, int place);

    Database& db_;
};
