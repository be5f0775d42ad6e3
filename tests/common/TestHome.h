#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class Database;

// A temporary HOME and XDG_DATA_HOME for one test; the previous values come back on destruction.
class TestHome {
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    QString home() const;
    QString dataHome() const;
    QString path(const QString& relative) const;
    // A fresh program database (sample rows included) in a folder of this home.
    std::unique_ptr<Database> createDatabase(const QString& name = QStringLiteral("test.dat")) const;

private:
    QTemporaryDir dir_;
    QByteArray oldHome_;
    QByteArray oldDataHome_;
};
