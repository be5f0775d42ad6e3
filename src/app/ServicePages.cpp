#include "app/ServicePages.h"

#include "app/Startup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

const QStringList& ServicePageNames() {
    // The page templates the program carries, as built into it.
    static const QStringList names = QDir(QStringLiteral(":/phone")).entryList(QDir::Files, QDir::Name);
    return names;
}

QStringList WriteServicePages(const QString& dataFolder) {
    const QString folder = dataFolder + QStringLiteral("/phone");
    CreateFolderPath(folder);
    QStringList written;
    for (const QString& name : ServicePageNames()) {
        const QString target = folder + QLatin1Char('/') + name;
        if (QFileInfo::exists(target))
            continue;
        QFile source(QStringLiteral(":/phone/") + name);
        if (!source.open(QIODevice::ReadOnly))
            continue;
        QSaveFile out(target);
        if (out.open(QIODevice::WriteOnly) && out.write(source.readAll()) >= 0 && out.commit())
            written.append(name);
    }
    return written;
}
