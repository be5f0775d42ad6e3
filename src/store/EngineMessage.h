#pragma once

#include <QString>

struct sqlite3;

// The engine's last error on a connection, led by a Chinese explanation of the common causes a user can
// act on (full disk, read-only folder, another program holding the file, a damaged file), e.g.
// "磁盘空间已满（database or disk is full）".
QString EngineMessage(sqlite3* db);

// The same for a bare result code, when no connection is at hand.
QString EngineCodeMessage(int resultCode);
