// The counter program's printing alone: runs the spooler over the database file until it is killed, so a
// test can end it with SIGKILL while jobs wait or are on their way.

#include "print/PrintSpooler.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DATABASE\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    SpoolerOptions options;
    options.poll = std::chrono::milliseconds(20);
    options.firstRetry = std::chrono::milliseconds(20);
    options.longestRetry = std::chrono::milliseconds(100);
    PrintSpooler spooler([path] { return std::make_unique<Database>(path, DatabasePassword()); },
                         MakeRawTransport, options);
    spooler.start();
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
