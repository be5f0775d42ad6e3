#pragma once

#include "store/Engine.h"

#include <QByteArray>

namespace store_engine {

// A PostgreSQL server named by a libpq connection URI. Throws StoreError when it cannot connect.
std::unique_ptr<Connection> ConnectPostgres(const QString& uri);

// The program's SQL, written for SQLite, as PostgreSQL runs it: `?` and `?N` placeholders become `$N`, and
// the few SQLite words the program uses become their counterparts (ifnull, CAST … AS INTEGER read as the
// program's text-number rule, INDEXED BY dropped). Text in quotes is left alone.
QByteArray TranslateForPostgres(const QByteArray& sql);

// The URI with its password left out, for messages and the title bar.
QString PostgresDisplayName(const QString& uri);

} // namespace store_engine
