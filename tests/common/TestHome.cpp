#include "common/TestHome.h"

#include "app/Startup.h"
#include "store/Database.h"
#include "store/Schema.h"

#include <QDir>

TestHome::TestHome() : oldHome_(qgetenv("HOME")), oldDataHome_(qgetenv("XDG_DATA_HOME")) {
    QDir(dir_.path()).mkpath(QStringLiteral("home"));
    QDir(dir_.path()).mkpath(QStringLiteral("data"));
    qputenv("HOME", home().toUtf8());
    qputenv("XDG_DATA_HOME", dataHome().toUtf8());
}

TestHome::~TestHome() {
    qputenv("HOME", oldHome_);
    qputenv("XDG_DATA_HOME", oldDataHome_);
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
    auto db = std::make_unique<Database>(path(name), DatabasePassword());
    CreateSchema(*db);
    return db;
}
