#include "app/Application.h"
#include "app/CopyCommand.h"
#include "app/ProgramSetup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (arguments.contains(QStringLiteral("--copy-database"))) {
        // The copy between databases runs without a screen.
        const QCoreApplication tool(argc, argv);
        return RunCopyCommand(arguments).value_or(64);
    }
    QApplication app(argc, argv);
    SetUpProgramApplication(app);
    // Windows hide instead of closing while the program runs; the main window ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    Application program;
    QObject::connect(&program, &Application::ended, &app, [](int code) { QApplication::exit(code); });
    if (!program.start())
        return 1;
    return QApplication::exec();
}
