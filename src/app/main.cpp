#include "app/Application.h"
#include "app/CopyCommand.h"

#include <QApplication>
#include <QFont>
#include <QIcon>

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
    QApplication::setApplicationName(QStringLiteral("cjpos"));
    QApplication::setApplicationDisplayName(QStringLiteral("澄槿餐饮点餐收银软件"));
    QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK SC"), 10));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/cjpos/cjpos-256.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral("cjpos"));
    // Windows hide instead of closing while the program runs; the main window ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    Application program;
    if (!program.start())
        return 1;
    return QApplication::exec();
}
