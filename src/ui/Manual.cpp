#include "ui/Manual.h"

#include "ui/Widgets.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

// CJ_MANUAL_FROM_BIN (the manual folder relative to the installed program's folder) and CJ_MANUAL_SOURCE
// (the manual in the source tree) come from the build.
#ifndef CJ_MANUAL_FROM_BIN
#define CJ_MANUAL_FROM_BIN "../share/cjpos/manual"
#endif
#ifndef CJ_MANUAL_SOURCE
#define CJ_MANUAL_SOURCE ""
#endif

namespace {
const QString kIndexFile = QStringLiteral("index.html");

bool IsFile(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isFile();
}
} // namespace

QString FindManual(const QString& programFolder, const QString& sourceManual) {
    if (!programFolder.isEmpty()) {
        const QString installed = QDir::cleanPath(
            QDir(programFolder).filePath(QStringLiteral(CJ_MANUAL_FROM_BIN) + QLatin1Char('/') + kIndexFile));
        if (IsFile(installed))
            return installed;
    }
    return IsFile(sourceManual) ? QFileInfo(sourceManual).absoluteFilePath() : QString();
}

QString ManualPath() {
    return FindManual(QCoreApplication::applicationDirPath(), QStringLiteral(CJ_MANUAL_SOURCE));
}

bool OpenManual(QWidget* parent, const QString& section) {
    const QString path = ManualPath();
    if (path.isEmpty()) {
        ShowMessage(parent, QStringLiteral("找不到操作教程文件，请重新安装本软件。"));
        return false;
    }
    QUrl url = QUrl::fromLocalFile(path);
    if (!section.isEmpty())
        url.setFragment(section);
    if (!QDesktopServices::openUrl(url)) {
        ShowMessage(parent, QStringLiteral("无法打开浏览器显示操作教程，请用浏览器打开以下文件：\n") +
                                QDir::toNativeSeparators(path));
        return false;
    }
    return true;
}
