#pragma once

#include "store/Engine.h"

namespace store_engine {

// The encrypted file: SQLCipher, WAL journal, synchronous=FULL, a busy timeout. Throws StoreError when the
// file cannot be opened or read with the key.
std::unique_ptr<Connection> OpenSqliteFile(const QString& path, const QString& key);

} // namespace store_engine
