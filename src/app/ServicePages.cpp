#include "app/ServicePages.h"

#include "app/Startup.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

const QStringList& ServicePageNames() {
    static const QStringList names{QStringLiteral("delete.asp"),  QStringLiteral("detail.asp"),
                                   QStringLiteral("list.asp"),    QStringLiteral("menu.asp"),
                                   QStringLiteral("modify.asp"),  QStringLiteral("save.asp"),
                                   QStringLiteral("savemenu.asp")};
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
