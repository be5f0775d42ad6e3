#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class Database;

// A database named on the command line: a libpq URI or key=value string for a server, else the path of
// a database file (encrypted with the program's key).
bool NamesServerDatabase(const QString& name);

struct CopyReport {
    QStringList lines; // one per table: its name and the rows copied
    qint64 bills = 0;
    double receivable = 0; // sum of 应收 of every bill, checked the same on both sides
};

struct CopyOptions {
    // Replace the target's bills; without it a target that holds any bill is refused.
    bool overwrite = false;
    std::function<void(const QString&)> progress;
};

// Copies every table of the program from `from` into `to`, whichever engine each is on, in one write step
// on the target: the target ends up holding exactly the source's rows, in the source's order, or (on any
// failure) what it held before. Afterwards the row counts and the sum of 应收 are compared on both sides;
// a difference throws StoreError. The target gets the program's tables first if it has none.
CopyReport CopyDatabase(Database& from, Database& to, const CopyOptions& options);
