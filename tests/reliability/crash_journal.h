#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

class Database;

// What the driver promises has been stored: one record per call that returned, written and synced to the
// journal before the next step. Records: "line <序号> <数量>", "gone <序号>", "bill <id> <应收>",
// "slot <index> <id or ->", "left <id>".
class CrashJournal {
public:
    explicit CrashJournal(const QString& path) : path_(path) {}
    void open();
    void record(const QString& line);

private:
    QString path_;
    int fd_ = -1;
};

// Replays a journal (a torn last line is ignored) and checks the database against it and against the rules
// that hold after any crash. Returns the problems found; empty means the file is sound.
struct CrashCheck {
    QStringList problems;
    int recordsChecked = 0;
};
CrashCheck CheckAfterCrash(Database& db, const QString& journalPath);
