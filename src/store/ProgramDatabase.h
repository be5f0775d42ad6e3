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
// Holds the address (a libpq connection URI) of a database server several counters share.
inline const QString kServerAddressFileName = QStringLiteral("数据库连接.conf");

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

// The database server the counters share: $CJPOS_DATABASE, else the first line of 数据库连接.conf in the
// data folder that is not a comment; empty when this PC keeps its data in its own file.
QString ServerDatabaseAddress(const QString& dataFolder);

// Connects to the server, giving an empty database the tables and sample rows and an older one the
// current schema.
std::unique_ptr<Database> OpenServerDatabase(const QString& address);

// Opens the restaurant's database: on the server when one is set, else the file in the data folder,
// created with the sample rows when it is missing. An existing file is never overwritten; one that
// cannot be read throws StoreError naming the file.
std::unique_ptr<Database> OpenProgramDatabase(const QString& dataFolder);
