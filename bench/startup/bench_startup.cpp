// Start-up cost: from the data folder choice to the login window painted, for a first start (database
// created) and a later start, plus the cost of opening the encrypted connection alone. Medians of 10 runs.
#include "app/LoginWindow.h"
#include "settings/Password.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"
#include "store/Settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double startOnce(const QString& home) {
    QElapsedTimer timer;
    timer.start();
    const DataFolders folders = ChooseDataFolders(home, home + QStringLiteral("/data"));
    CreateFolderPath(folders.dataFolder);
    const auto db = OpenProgramDatabase(folders.dataFolder);
    LoginWindow login(LoginAccount(*db)->passwordHash);
    login.show();
    QApplication::processEvents();
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    constexpr int kRuns = 10;
    std::vector<double> cold;
    std::vector<double> warm;
    std::vector<double> open;
    for (int i = 0; i < kRuns; ++i) {
        QTemporaryDir home;
        cold.push_back(startOnce(home.path()));
        warm.push_back(startOnce(home.path()));
        const DataFolders folders = ChooseDataFolders(home.path(), home.path() + QStringLiteral("/data"));
        QElapsedTimer timer;
        timer.start();
        Database db(folders.dataFolder + QLatin1Char('/') + kDatabaseFileName, DatabasePassword());
        open.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("first start (database created) to login shown: median %.1f ms\n", median(cold));
    std::printf("later start to login shown:                    median %.1f ms\n", median(warm));
    std::printf("opening the encrypted connection:              median %.1f ms\n", median(open));
    return 0;
}
