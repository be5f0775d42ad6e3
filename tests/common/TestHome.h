#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class Database;

// True when the suite runs against a PostgreSQL server (the ctest entries ending in _server): the file
// CJ_TEST_SERVER_URI_FILE names holds the address of a throwaway cluster.
bool TestsOnServer();

// A temporary HOME and XDG_DATA_HOME for one test; the previous values come back on destruction.
// On a server, CJPOS_DATABASE is also set for the test (and the programs it starts) to the last database
// createDatabase made.
class TestHome {
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    QString home() const;
    QString dataHome() const;
    QString path(const QString& relative) const;
    // A fresh program database (sample rows included): a file in a folder of this home, or a new database
    // on the test server.
    std::unique_ptr<Database> createDatabase(const QString& name = QStringLiteral("test.dat")) const;
    // A fresh empty database on the test server, without tables; its address.
    static QString createServerDatabase();
    // The same database opened by another counter (a claim holder of its own), or by the phone pages.
    static std::unique_ptr<Database> openAsAnotherCounter(const Database& db);
    static std::unique_ptr<Database> openAsPhonePages(const Database& db);

private:
    QTemporaryDir dir_;
    QByteArray oldHome_;
    QByteArray oldDataHome_;
    QByteArray oldServer_;
};
