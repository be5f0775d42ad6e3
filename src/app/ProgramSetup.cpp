#include "app/ProgramSetup.h"

#include "ui/ScreenFit.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

void SetUpProgramApplication(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("cjpos"));
    QGuiApplication::setDesktopFileName(QStringLiteral("cjpos"));
    QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK SC"), 10));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/cjpos/cjpos-256.png")));
    InstallQtChineseTranslation(app);
    FitWindowsToScreen(app);
}

bool InstallQtChineseTranslation(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
