#include "store/Log.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QTextStream>

namespace {
struct LogTarget {
    QMutex mutex;
    QString path;
};
LogTarget& target() {
    static LogTarget instance;
    return instance;
}
} // namespace

void Log::setFile(const QString& path) {
    const QMutexLocker lock(&target().mutex);
    target().path = path;
}

void Log::write(const QString& line) {
    const QMutexLocker lock(&target().mutex);
    if (target().path.isEmpty())
        return;
    QFile file(target().path);
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return;
    QTextStream out(&file);
    out << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) << line << '\n';
}
