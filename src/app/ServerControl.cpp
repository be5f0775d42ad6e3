#include "app/ServerControl.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <sys/types.h>

namespace {
const QString kServerName = QStringLiteral("Lanserve");

bool processIsServer(qint64 pid) {
    if (pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) != 0)
        return false;
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return false;
    return comm.readAll().trimmed() == kServerName.toLatin1();
}
} // namespace

ServerControl::ServerControl(QString programFolder, QString dataFolder)
    : programFolder_(std::move(programFolder)), dataFolder_(std::move(dataFolder)) {}

QString ServerControl::installedProgram() const {
    return programFolder_ + QLatin1Char('/') + kServerName;
}

QString ServerControl::pidFile() const {
    return dataFolder_ + QStringLiteral("/Lanserve.pid");
}

std::optional<qint64> ServerControl::runningServer() const {
    QFile file(pidFile());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const qint64 pid = file.readAll().trimmed().toLongLong(&ok);
    if (ok && processIsServer(pid))
        return pid;
    return std::nullopt;
}

ServerControl::StartResult ServerControl::start() const {
    const QString source = installedProgram();
    if (!QFileInfo::exists(source))
        return StartResult::NotInstalled;
    if (runningServer())
        return StartResult::AlreadyRunning;
    const QString target = dataFolder_ + QLatin1Char('/') + kServerName;
    // Copy beside and rename, so a program file still in use is replaced, never half-written.
    const QString partial = target + QStringLiteral(".new");
    QFile::remove(partial);
    if (QFile::copy(source, partial)) {
        QFile::remove(target);
        QFile::rename(partial, target);
    }
    const QString program = QFileInfo::exists(target) ? target : source;
    QFile::setPermissions(program,
                          QFile::permissions(program) | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    return QProcess::startDetached(program, {dataFolder_}, dataFolder_) ? StartResult::Started
                                                                        : StartResult::Failed;
}

bool ServerControl::stop() const {
    const std::optional<qint64> pid = runningServer();
    if (!pid)
        return false;
    return ::kill(static_cast<pid_t>(*pid), SIGTERM) == 0;
}

bool ServerControl::waitStopped(int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    while (runningServer()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}
