// Opens a program database in a temporary folder through cjcore and writes the phone pages beside it,
// so both the libraries cjcore links and its compiled-in resources reach this program.
#include "mobile/ServicePages.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"

#include <QTemporaryDir>
#include <cstdio>

int main() {
    const QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fputs("no temporary folder\n", stderr);
        return 1;
    }
    try {
        const auto db = OpenProgramDatabase(folder.path());
        Statement tables(*db, "SELECT COUNT(*) FROM 餐桌设置");
        if (!tables.next() || tables.integer(0) <= 0) {
            std::fputs("the new database has no tables\n", stderr);
            return 1;
        }
    } catch (const StoreError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.text()));
        return 1;
    }
    if (WriteServicePages(folder.path()).size() != ServicePageNames().size()) {
        std::fputs("the phone pages were not written\n", stderr);
        return 1;
    }
    std::puts("parent project ok");
    return 0;
}
