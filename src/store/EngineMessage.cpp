#include "store/EngineMessage.h"

#include <sqlite3.h>

namespace {

QString explanation(int primaryCode) {
    switch (primaryCode) {
    case SQLITE_FULL:
        return QStringLiteral("磁盘空间已满");
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return QStringLiteral("数据文件夹或数据库文件只读，无法写入");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("数据库正被其他程序占用");
    case SQLITE_IOERR:
        return QStringLiteral("磁盘读写出错");
    case SQLITE_CANTOPEN:
        return QStringLiteral("无法打开数据库文件");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("数据库文件已损坏");
    case SQLITE_NOMEM:
        return QStringLiteral("内存不足");
    default:
        return {};
    }
}

QString combined(int primaryCode, const QString& engineText) {
    const QString lead = explanation(primaryCode);
    return lead.isEmpty() ? engineText : QStringLiteral("%1（%2）").arg(lead, engineText);
}

} // namespace

QString EngineMessage(sqlite3* db) {
    if (!db)
        return QStringLiteral("?");
    return combined(sqlite3_errcode(db) & 0xff, QString::fromUtf8(sqlite3_errmsg(db)));
}

QString EngineCodeMessage(int resultCode) {
    return combined(resultCode & 0xff, QString::fromUtf8(sqlite3_errstr(resultCode)));
}
