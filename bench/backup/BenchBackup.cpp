// The backup of a large database (make one with cjgendata --out FILE) against a plain copy of the same file
// in the same run: each run copies the file into a fresh folder beside it (kernel copy and fsync, as cp
// and sync would) and writes the next hour's set into one backup folder, as the hourly backups do, the
// two in turns first. The first backup computes the seal of every page; the later ones only of pages that
// changed since a copy this process checked. The backup's figure includes its checks and its syncs.
//   bench_backup [database] [runs]   (default /tmp/cjbackup-200m.dat, 5 runs)
#include "store/Backup.h"
#include "store/Database.h"
#include "store/Integrity.h"
#include "store/ProgramDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Seconds of rest before each measurement: the disk here writes slower for a while after a burst.
constexpr unsigned long kSettle = 10;

int failed(const QString& why) {
    std::fprintf(stderr, "%s\n", qPrintable(why));
    return 1;
}

double milliseconds(const QElapsedTimer& clock) {
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// The plain copy to compare with: the file's bytes into a new file, on disk before it counts.
bool plainCopy(const QString& from, const QString& to) {
    const int source = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    const int target =
        ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool copied = source >= 0 && target >= 0;
    while (copied) {
        const ssize_t step = ::copy_file_range(source, nullptr, target, nullptr, 1 << 30, 0);
        copied = step >= 0;
        if (step <= 0)
            break;
    }
    copied = copied && ::fsync(target) == 0;
    if (source >= 0)
        ::close(source);
    if (target >= 0)
        ::close(target);
    return copied && QFileInfo(to).size() == QFileInfo(from).size();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString path = args.value(1, QStringLiteral("/tmp/cjbackup-200m.dat"));
    const int runs = std::max(1, args.value(2, QStringLiteral("5")).toInt());
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "no database %s; make one with cjgendata --out FILE\n", qPrintable(path));
        return 1;
    }
    Database db(path, DatabasePassword());
    db.exec("PRAGMA wal_checkpoint(TRUNCATE);");
    const double megabytes = static_cast<double>(QFileInfo(path).size()) / (1024.0 * 1024.0);
    std::printf("database %s: %.1f MB\n", qPrintable(path), megabytes);
    const QString beside = QFileInfo(path).absolutePath() + QStringLiteral("/cjbackup-bench-XXXXXX");

    const QTemporaryDir backupFolder(beside);
    const QDateTime firstHour = QDateTime::currentDateTime();
    std::vector<double> plainTimes;
    std::vector<double> backupTimes;
    std::vector<double> ratios;
    for (int run = 0; run < runs; ++run) {
        const QTemporaryDir plainFolder(beside);
        double plainMs = 0;
        const auto copyPlainly = [&] {
            QThread::sleep(kSettle);
            QElapsedTimer clock;
            clock.start();
            const bool copied = plainCopy(path, plainFolder.path() + QStringLiteral("/copy.dat"));
            plainMs = milliseconds(clock);
            return copied;
        };
        double backupMs = 0;
        qint64 bytesCopiedMs = 0;
        BackupResult result;
        const auto backUp = [&] {
            QThread::sleep(kSettle);
            QElapsedTimer clock;
            clock.start();
            result = BackupDatabase(
                db, backupFolder.path() + QStringLiteral("/sets"), firstHour.addSecs(3600LL * run),
                [&](const BackupProgress& progress) { bytesCopiedMs = progress.elapsedMs; });
            backupMs = milliseconds(clock);
        };
        // The disk here slows down after a burst of writes: whichever goes second would pay for the first.
        if (run % 2 == 0) {
            if (!copyPlainly())
                return failed("plain copy failed");
            backUp();
        } else {
            backUp();
            if (!copyPlainly())
                return failed("plain copy failed");
        }
        // A figure counts only for a copy that is in place and reads whole.
        QElapsedTimer clock;
        clock.start();
        if (!result.copied || !CheckDatabaseFile(result.file).sound())
            return failed(result.failures.join(QStringLiteral("; ")));
        std::printf(
            "run %d: plain copy %.0f ms, backup %.0f ms (bytes copied after %lld ms, then the check and "
            "the syncs), %.2fx, copy %.1f MB; quick_check of the copy %.0f ms\n",
            run + 1, plainMs, backupMs, static_cast<long long>(bytesCopiedMs), backupMs / plainMs,
            static_cast<double>(QFileInfo(result.file).size()) / (1024.0 * 1024.0), milliseconds(clock));
        plainTimes.push_back(plainMs);
        backupTimes.push_back(backupMs);
        ratios.push_back(backupMs / plainMs);
    }
    std::printf("first backup (every page's seal computed): %.0f ms against a plain copy of %.0f ms, %.2fx\n",
                backupTimes[0], plainTimes[0], ratios[0]);
    if (runs > 1) {
        const std::vector<double> laterBackups(backupTimes.begin() + 1, backupTimes.end());
        const std::vector<double> laterRatios(ratios.begin() + 1, ratios.end());
        std::printf(
            "hourly backups after it (%d): median %.0f ms (%.0f MB/s), median ratio to the plain copy "
            "of the same run %.2fx\n",
            runs - 1, median(laterBackups), megabytes / (median(laterBackups) / 1000.0), median(laterRatios));
        // On a shared machine the fastest of each is the least disturbed.
        const double fastestPlain = *std::min_element(plainTimes.begin(), plainTimes.end());
        const double fastestBackup = *std::min_element(laterBackups.begin(), laterBackups.end());
        std::printf("fastest: plain copy %.0f ms, hourly backup %.0f ms, %.2fx\n", fastestPlain,
                    fastestBackup, fastestBackup / fastestPlain);
    }
    return 0;
}
