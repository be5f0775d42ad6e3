#pragma once

#include <optional>

#include "store/Engine.h"

#include <QByteArray>

namespace store_engine {

// A PostgreSQL server named by a libpq connection URI. Throws StoreError when it cannot connect.
std::unique_ptr<Connection> ConnectPostgres(const QString& uri);

// The program's SQL, written for SQLite, as PostgreSQL runs it: `?` and `?N` placeholders become `$N`, and
// the few SQLite words the program uses become their counterparts (ifnull, CAST … AS INTEGER read as the
// program's text-number rule, INDEXED BY dropped). Text in quotes is left alone.
QByteArray TranslateForPostgres(const QByteArray& sql);

// The address (a URI, one with several hosts, or key=value words) with every password hidden, for
// messages, the log and the title bar.
QString PostgresDisplayName(const QString& address);

// An address split for a tool run as a child process (pg_dump): libpq's key=value words without the
// password, which goes to the child in its environment (PGPASSWORD), never onto a command line that other
// users can read. Nothing when libpq cannot read the address.
struct ToolConnection {
    QString words;
    QString password;
};
std::optional<ToolConnection> SplitServerPassword(const QString& address);

} // namespace store_engine
