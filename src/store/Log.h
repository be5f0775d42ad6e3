#pragma once

#include <QString>

// Appends a time-stamped line to cjpos.log in the data folder. Used for every write that failed, so a
// problem the user was told about can be looked at later.
namespace Log {
void setFile(const QString& path);
void write(const QString& line);
} // namespace Log
