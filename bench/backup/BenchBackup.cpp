// The shutdown backup of a large database (make one with cjgendata --out FILE): each run writes the hour's
// set into a fresh backup folder, the first with the file not yet in the page cache of the system.
//   bench_backup [database] [runs]   (default /tmp/cjbackup-200m.dat, 7 runs)
#include "store/Backup.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString path = args.value(1, QStringLiteral("/tmp/cjbackup-200m.dat"));
    const int runs = std::max(1, args.value(2, QStringLiteral("7")).toInt());
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "no database %s; make one with cjgendata --out FILE\n", qPrintable(path));
        return 1;
    }
    Database db(path, DatabasePassword());
    db.exec("PRAGMA wal_checkpoint(TRUNCATE);");
    const double megabytes = static_cast<double>(QFileInfo(path).size()) / (1024.0 * 1024.0);
    std::printf("database %s: %.1f MB\n", qPrintable(path), megabytes);

    std::vector<double> times;
    double firstNotice = -1;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/cjbackup-bench-XXXXXX"));
        int hooks = 0;
        qint64 pagesCopiedMs = 0;
        QElapsedTimer clock;
        clock.start();
        const BackupResult result =
            BackupDatabase(db, folder.path() + QStringLiteral("/sets"), QDateTime::currentDateTime(),
                           [&](const BackupProgress& progress) {
                               ++hooks;
                               if (progress.pagesDone == progress.pagesTotal)
                                   pagesCopiedMs = progress.elapsedMs;
                               if (firstNotice < 0 && progress.elapsedMs >= 1000)
                                   firstNotice = static_cast<double>(progress.elapsedMs);
                           });
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        if (!result.copied) {
            std::fprintf(stderr, "backup failed: %s\n",
                         qPrintable(result.failures.join(QStringLiteral("; "))));
            return 1;
        }
        std::printf("run %d: %.0f ms (pages copied after %lld ms, the rest is syncing), %d progress calls, "
                    "copy %.1f MB\n",
                    run + 1, ms, static_cast<long long>(pagesCopiedMs), hooks,
                    static_cast<double>(QFileInfo(result.file).size()) / (1024.0 * 1024.0));
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    const double median = times.size() % 2 ? times[times.size() / 2]
                                           : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
    std::printf("median %.0f ms over %d runs (%.0f MB/s)\n", median, runs, megabytes / (median / 1000.0));
    if (firstNotice >= 0)
        std::printf("a backup ran past one second (the notice would show at %.0f ms)\n", firstNotice);
    return 0;
}
