#pragma once

#include <QString>
#include <memory>

class Database;

// Where the data lives: in the user's home folder when that holds at least one visible entry, otherwise in
// the XDG data folder. The backup folder always lies in the XDG data folder.
struct DataFolders {
    QString dataFolder;
    QString backupFolder;
};

inline const QString kDataFolderName = QStringLiteral("澄槿餐饮点餐收银软件数据库");
inline const QString kBackupFolderName = QStringLiteral("澄槿餐饮点餐收银软件数据库备份");
inline const QString kDatabaseFileName = QStringLiteral("数据库.dat");

// home and xdgDataHome are the values of $HOME and $XDG_DATA_HOME.
DataFolders ChooseDataFolders(const QString& home, const QString& xdgDataHome);
DataFolders ChooseDataFoldersFromEnvironment();

// Creates every missing level of a folder path from the left; levels that exist or cannot be created are
// skipped. True when the whole path exists afterwards.
bool CreateFolderPath(const QString& path);

// Makes a file readable and writable (0600), or a folder usable (0700), by its owner alone. False when the
// mode could not be set.
bool MakePrivate(const QString& path);

// The restaurant's data is the owner's alone: the data folder, the database with its journals, the log,
// the phone pages and the server's files. Files this process creates afterwards follow the same rule (the
// process's file-creation mask becomes 077), so a new log or backup is never readable by others.
void KeepDataPrivate(const QString& dataFolder);

// The 7-character key of the database file, built from its stored number list.
QString DatabasePassword();

// Opens the database in the data folder, creating it with the sample rows when the file is missing.
// An existing file is never overwritten; one that cannot be read throws StoreError naming the file.
std::unique_ptr<Database> OpenProgramDatabase(const QString& dataFolder);
