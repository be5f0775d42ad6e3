#include "common/TestHome.h"

#include "store/Database.h"
#include "store/ProgramDatabase.h"
#include "store/Schema.h"

#include <QDir>
#include <QFile>
#include <QUrl>
#include <unistd.h>

bool TestsOnServer() {
    return !qEnvironmentVariableIsEmpty("CJ_TEST_SERVER_URI_FILE");
}

QString TestHome::createServerDatabase() {
    QFile file(qEnvironmentVariable("CJ_TEST_SERVER_URI_FILE"));
    if (!file.open(QIODevice::ReadOnly))
        throw StoreError(QStringLiteral("test server address missing: %1").arg(file.fileName()));
    const QString admin = QString::fromUtf8(file.readAll()).trimmed();
    static int created = 0;
    const QString name = QStringLiteral("cjt_%1_%2").arg(::getpid()).arg(++created);
    Database::ConnectServer(admin)->exec(("CREATE DATABASE " + name.toUtf8()).constData());
    QUrl url(admin);
    url.setPath(QLatin1Char('/') + name);
    return url.toString();
}

TestHome::TestHome()
    : oldHome_(qgetenv("HOME")), oldDataHome_(qgetenv("XDG_DATA_HOME")),
      oldServer_(qgetenv("CJPOS_DATABASE")) {
    QDir(dir_.path()).mkpath(QStringLiteral("home"));
    QDir(dir_.path()).mkpath(QStringLiteral("data"));
    qputenv("HOME", home().toUtf8());
    qputenv("XDG_DATA_HOME", dataHome().toUtf8());
}

TestHome::~TestHome() {
    qputenv("HOME", oldHome_);
    qputenv("XDG_DATA_HOME", oldDataHome_);
    if (oldServer_.isEmpty())
        qunsetenv("CJPOS_DATABASE");
    else
        qputenv("CJPOS_DATABASE", oldServer_);
}

QString TestHome::home() const {
    return dir_.path() + QStringLiteral("/home");
}
QString TestHome::dataHome() const {
    return dir_.path() + QStringLiteral("/data");
}
QString TestHome::path(const QString& relative) const {
    return dir_.path() + QLatin1Char('/') + relative;
}

std::unique_ptr<Database> TestHome::createDatabase(const QString& name) const {
    if (TestsOnServer()) {
        const QString address = createServerDatabase();
        qputenv("CJPOS_DATABASE", address.toUtf8());
        auto db = Database::ConnectServer(address);
        CreateSchema(*db);
        return db;
    }
    auto db = std::make_unique<Database>(path(name), DatabasePassword());
    CreateSchema(*db);
    return db;
}

std::unique_ptr<Database> TestHome::openAsAnotherCounter(const Database& db) {
    return db.isServer() ? Database::ConnectServer(db.serverAddress())
                         : std::make_unique<Database>(db.path(), DatabasePassword());
}

std::unique_ptr<Database> TestHome::openAsPhonePages(const Database& db) {
    std::unique_ptr<Database> phones = openAsAnotherCounter(db);
    phones->setWriter(Database::Writer::PhonePages);
    return phones;
}
