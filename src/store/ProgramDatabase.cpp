#include "store/ProgramDatabase.h"

#include "store/Database.h"
#include "store/Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <sys/stat.h>

namespace {

bool homeIsUsable(const QString& home) {
    if (home.isEmpty())
        return false;
    const QDir dir(home);
    if (!dir.exists())
        return false;
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    return std::any_of(entries.cbegin(), entries.cend(),
                       [](const QString& name) { return !name.startsWith(QLatin1Char('.')); });
}

bool holdsDatabase(const QString& folder) {
    return QFileInfo::exists(folder + QLatin1Char('/') + kDatabaseFileName);
}

} // namespace

DataFolders ChooseDataFolders(const QString& home, const QString& xdgDataHome) {
    const QString xdgData = xdgDataHome.isEmpty() ? home + QStringLiteral("/.local/share") : xdgDataHome;
    const QString inHome = QDir::cleanPath(home + QLatin1Char('/') + kDataFolderName);
    const QString inXdgData = QDir::cleanPath(xdgData + QLatin1Char('/') + kDataFolderName);

    QString chosen = homeIsUsable(home) ? inHome : inXdgData;
    const QString other = chosen == inHome ? inXdgData : inHome;
    // A home folder that gains or loses files must not make the user's data seem to vanish.
    if (!holdsDatabase(chosen) && holdsDatabase(other))
        chosen = other;
    return {chosen, QDir::cleanPath(xdgData + QLatin1Char('/') + kBackupFolderName)};
}

DataFolders ChooseDataFoldersFromEnvironment() {
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    return ChooseDataFolders(env.value(QStringLiteral("HOME"), QDir::homePath()),
                             env.value(QStringLiteral("XDG_DATA_HOME")));
}

bool CreateFolderPath(const QString& path) {
    QString full = path + QLatin1Char('/');
    while (full.contains(QStringLiteral("//")))
        full.replace(QStringLiteral("//"), QStringLiteral("/"));
    for (qsizetype i = 0; i < full.size(); ++i) {
        if (full.at(i) != QLatin1Char('/'))
            continue;
        const QString level = full.left(i + 1);
        if (level != QStringLiteral("/") && !QFileInfo(level).isDir())
            QDir().mkdir(level);
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
    }
    return QFileInfo(full).isDir();
}

bool MakePrivate(const QString& path) {
    const QFileInfo info(path);
    const QFileDevice::Permissions owner =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner |
        (info.isDir() ? QFileDevice::ExeOwner : QFileDevice::Permissions());
    return info.exists() && QFile::setPermissions(path, owner);
}

void KeepDataPrivate(const QString& dataFolder) {
    ::umask(077);
    MakePrivate(dataFolder);
    const QDir folder(dataFolder);
    for (const QFileInfo& entry :
         folder.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (entry.isSymLink())
            continue;
        MakePrivate(entry.absoluteFilePath());
        if (entry.isDir())
            for (const QFileInfo& inner :
                 QDir(entry.absoluteFilePath()).entryInfoList(QDir::Files | QDir::Hidden))
                if (!inner.isSymLink())
                    MakePrivate(inner.absoluteFilePath());
    }
}

QString DatabasePassword() {
    // Each stored number n stands for the character (n - 17) / 3.
    static constexpr int stored[7] = {218, 311, 290, 266, 236, 347, 164};
    QString key;
    for (const int n : stored)
        key.append(QChar((n - 17) / 3));
    return key;
}

QString ServerDatabaseAddress(const QString& dataFolder) {
    const QString fromEnvironment = qEnvironmentVariable("CJPOS_DATABASE").trimmed();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    QFile file(dataFolder + QLatin1Char('/') + kServerAddressFileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // The first line that is neither empty nor a comment.
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString address = QString::fromUtf8(line).trimmed();
        if (!address.isEmpty() && !address.startsWith(QLatin1Char('#')))
            return address;
    }
    return {};
}

std::unique_ptr<Database> OpenServerDatabase(const QString& address) {
    auto db = Database::ConnectServer(address);
    RefuseUnfinishedCopy(*db);
    if (db->holdsNoTables())
        CreateSchema(*db);
    else
        MigrateSchema(*db);
    return db;
}

std::unique_ptr<Database> OpenProgramDatabase(const QString& dataFolder) {
    const QString address = ServerDatabaseAddress(dataFolder);
    if (!address.isEmpty())
        return OpenServerDatabase(address);
    const QString path = dataFolder + QLatin1Char('/') + kDatabaseFileName;
    // The journal files beside the database are created in the folder at the first write.
    if (!QFileInfo(dataFolder).isWritable())
        throw StoreError(
            QStringLiteral("数据文件夹 %1 只读，无法保存点菜：请检查该文件夹及所在磁盘的写入权限。")
                .arg(dataFolder));
    if (QFileInfo::exists(path)) {
        auto db = std::make_unique<Database>(path, DatabasePassword());
        RefuseUnfinishedCopy(*db);
        if (!db->holdsNoTables()) {
            MigrateSchema(*db);
            return db;
        }
        // A file left empty by an interrupted first start gets the schema now.
        CreateSchema(*db);
        return db;
    }
    // A first start that fails half-way (a full disk, for instance) leaves no file behind that a later
    // start would take for a database.
    try {
        auto db = std::make_unique<Database>(path, DatabasePassword());
        CreateSchema(*db);
        return db;
    } catch (const StoreError&) {
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(path + QLatin1String(suffix));
        throw;
    }
}
