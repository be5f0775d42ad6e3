#include "menu/DishGroups.h"

#include "store/Database.h"
#include "store/Schema.h"

QStringList DishGroups::ofCategory(const QString& category) const {
    Statement query(db_,
                    "SELECT \"分组\" FROM \"菜单\" WHERE \"分类\" = ? AND \"分组\" <> '' ORDER BY rowid");
    query.bind(1, category);
    QStringList groups;
    while (query.next())
        if (!groups.contains(query.text(0)))
            groups.append(query.text(0));
    return groups;
}

void DishGroups::set(const QString& key, const QString& group) {
    const QString name = group.trimmed();
    CheckWidths(QStringLiteral("菜单"), {{"分组", name}});
    Statement update(db_, "UPDATE \"菜单\" SET \"分组\" = ? WHERE \"序号\" = ?");
    update.bind(1, name).bind(2, key).run();
}
