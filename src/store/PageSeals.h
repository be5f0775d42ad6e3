#pragma once

#include <QString>

// Every page of a file SQLCipher 3 writes carries a seal, an HMAC-SHA1 over its encrypted bytes and its
// number, which SQLCipher checks whenever it reads the page: a page overwritten in any way fails it.
struct SealCheck {
    enum class State {
        Sound,   // every page's seal holds
        Damaged, // the page `badPage` fails its seal
        Unknown, // the file is not sealed the way this check expects (the engine's own check must decide)
    };
    State state = State::Unknown;
    qint64 badPage = 0; // numbered from 1
    qint64 pages = 0;
};

// Checks the seal of every page of a file. An all-zero page carries no seal, which SQLCipher lets pass;
// the check then says Unknown, so the engine's own look through the tables decides. The process remembers a
// fast hash of each page whose seal held, by page number and salt; a later page with the same number and hash
// is the same bytes and passes without its seal being computed, so the hourly copies, which differ in few
// pages, cost a hash per page. A page torn by a writer fails its seal and is not remembered, so the live file
// may be checked too (to remember its pages), though only the check of a file no one writes to tells damage.
SealCheck CheckPageSeals(const QString& path, const QString& password);

// The key SQLCipher derives from the password and the salt at the start of the file at `path`, as a raw
// key ("x'…'"), when this process has derived it for a check before; empty otherwise. A connection keyed
// with it skips the slow derivation (25 ms).
QString RememberedRawKey(const QString& path, const QString& password);
