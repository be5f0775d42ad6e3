#include "app/Application.h"
#include "app/ProgramSetup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    SetUpProgramApplication(app);
    // Windows hide instead of closing while the program runs; the main window ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    Application program;
    if (!program.start())
        return 1;
    return QApplication::exec();
}
