#include "store/Log.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QTextStream>

namespace {
struct LogTarget {
    QMutex mutex;
    QString path;
    int linesPerMinute = 0;
    qint64 minute = -1;
    int linesThisMinute = 0;
    int dropped = 0;
};

// Counts the line against its minute's limit; false when it is over the limit. `droppedBefore` gets the
// lines left out in earlier minutes, to be reported once.
bool withinLimit(LogTarget& log, int& droppedBefore) {
    droppedBefore = 0;
    if (log.linesPerMinute <= 0)
        return true;
    const qint64 minute = QDateTime::currentMSecsSinceEpoch() / 60000;
    if (minute != log.minute) {
        droppedBefore = log.dropped;
        log.minute = minute;
        log.linesThisMinute = 0;
        log.dropped = 0;
    }
    if (log.linesThisMinute >= log.linesPerMinute) {
        ++log.dropped;
        return false;
    }
    ++log.linesThisMinute;
    return true;
}
LogTarget& target() {
    static LogTarget instance;
    return instance;
}
} // namespace

void Log::setFile(const QString& path, int linesPerMinute) {
    const QMutexLocker lock(&target().mutex);
    target().path = path;
    target().linesPerMinute = linesPerMinute;
    target().minute = -1;
    target().dropped = 0;
}

void Log::write(const QString& line) {
    const QMutexLocker lock(&target().mutex);
    LogTarget& log = target();
    int droppedBefore = 0;
    if (log.path.isEmpty() || !withinLimit(log, droppedBefore))
        return;
    QFile file(log.path);
    const bool created = !file.exists();
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return;
    if (created)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QTextStream out(&file);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss "));
    if (droppedBefore > 0)
        out << stamp << QStringLiteral("（此前另有 %1 条日志因写得太频繁而略去）").arg(droppedBefore) << '\n';
    out << stamp << line << '\n';
}
