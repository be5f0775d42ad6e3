#include "mobile/ServerControl.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <array>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

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

const QString kReplacedMark = QStringLiteral(" (deleted)");

// What /proc/PID/exe points at, with the kernel's mark for a file removed or replaced since the start.
QString ExeLink(qint64 pid) {
    const QByteArray link = QStringLiteral("/proc/%1/exe").arg(pid).toLocal8Bit();
    std::array<char, 4096> target{};
    const ssize_t length = ::readlink(link.constData(), target.data(), target.size() - 1);
    return length > 0 ? QFile::decodeName(QByteArray(target.data(), length)) : QString();
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
    const QString program = installedProgram();
    if (!QFileInfo(program).isExecutable())
        return StartResult::NotInstalled;
    if (runningServer())
        return StartResult::AlreadyRunning;
    return QProcess::startDetached(program, {dataFolder_}, dataFolder_) ? StartResult::Started
                                                                        : StartResult::Failed;
}

QString ServerControl::ProgramOf(qint64 pid) {
    QString target = ExeLink(pid);
    if (target.endsWith(kReplacedMark))
        target.chop(kReplacedMark.size());
    return target;
}

bool ServerControl::retireOldServer(int timeoutMs) const {
    bool stopped = true;
    if (const std::optional<qint64> pid = runningServer()) {
        const QString link = ExeLink(*pid);
        // An unreadable link (another user's process) is left alone.
        const bool replaced = link.endsWith(kReplacedMark);
        const bool elsewhere = !link.isEmpty() && QFileInfo(ProgramOf(*pid)).canonicalFilePath() !=
                                                      QFileInfo(installedProgram()).canonicalFilePath();
        if ((replaced || elsewhere) && stop())
            stopped = waitStopped(timeoutMs);
    }
    const QString copy = dataFolder_ + QLatin1Char('/') + kServerName;
    QFile::remove(copy + QStringLiteral(".new"));
    if (copy != installedProgram() && QFileInfo(copy).isFile())
        QFile::remove(copy);
    return stopped;
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
