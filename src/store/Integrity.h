#pragma once

#include <QObject>
#include <QString>
#include <future>

struct sqlite3;

// What a look through every page of a database file found.
struct IntegrityReport {
    enum class State {
        Sound,     // every page reads with the key and the tables hold together
        Damaged,   // a page fails its checksum, or the structure does not hold
        Unchecked, // the file could not be looked at (missing, busy, stopped early)
    };
    State state = State::Unchecked;
    QString detail; // the engine's findings, or why the file was not looked at
    bool sound() const { return state == State::Sound; }
    bool damaged() const { return state == State::Damaged; }
};

// A connection of its own to a database file, keyed with the program's password, with none of the live
// connection's settings: for looking at a file and for writing a backup. Throws StoreError when the file
// cannot be opened.
class KeyedFile {
public:
    explicit KeyedFile(const QString& path);
    KeyedFile(const KeyedFile&) = delete;
    KeyedFile& operator=(const KeyedFile&) = delete;
    ~KeyedFile();

    sqlite3* handle() const { return db_; }
    // Runs SQL that returns no rows (or whose rows do not matter); throws StoreError.
    void exec(const char* sql);
    // The first column of the first row, for a PRAGMA that answers with a word.
    QString answer(const char* sql);

private:
    sqlite3* db_ = nullptr;
};

// PRAGMA quick_check on an open connection: reads every page of every table and index.
IntegrityReport CheckOpenFile(sqlite3* db);
// The same on a connection of its own, so the live connection stays free for the windows.
IntegrityReport CheckDatabaseFile(const QString& path);

// The check of a file no one writes to (a backup's copy, a set): it opens with the key and reads its
// schema, and every page's seal holds (store/PageSeals.h), which catches any page overwritten and takes a
// fraction of quick_check's time. A file sealed another way gets quick_check instead.
IntegrityReport CheckQuietFile(const QString& path);
// The seal check alone, on a copy whose key and schema were already read.
IntegrityReport CheckSeals(const QString& path);

// The newest backup set whose copy of the database file passes CheckQuietFile; the copy's path, empty
// when none does.
QString LastSoundBackup(const QString& backupFolder);

// What the cashier is told about a damaged database: what was found, that the file stays as it is, and
// which backup to put back how (the last sound one, found in `backupFolder`).
QString DamageNotice(const QString& databasePath, const IntegrityReport& report, const QString& backupFolder);

// Checks the database file once on a thread of its own, so the login does not wait for it, and reports
// damage (with the notice to show) on the thread that made it. It also has the sound pages' seals
// remembered (store/PageSeals.h), so the backups check only what changed. The destructor waits for it.
class BackgroundCheck : public QObject {
    Q_OBJECT
public:
    BackgroundCheck(QString databasePath, QString backupFolder, QObject* parent = nullptr);
    ~BackgroundCheck() override;
    void start();

Q_SIGNALS:
    void damageFound(const QString& notice);

private:
    QString databasePath_;
    QString backupFolder_;
    std::future<void> running_;
};
