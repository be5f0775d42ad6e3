#pragma once

#include <QString>

// Appends a time-stamped line to cjpos.log in the data folder. Used for every write that failed, so a
// problem the user was told about can be looked at later.
// The file is created readable by its owner alone. With a limit, at most that many lines are written in a
// minute; the others are counted and the count is written with the next line of a later minute.
namespace Log {
void setFile(const QString& path, int linesPerMinute = 0);
void write(const QString& line);
} // namespace Log
