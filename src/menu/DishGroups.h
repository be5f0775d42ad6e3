#pragma once

#include <QString>
#include <QStringList>

class Database;

// The groups within a category the phone menu lists dishes under (菜单.分组: 凉菜, 热菜, 主食, 汤 …). The
// three categories stay what statistics and the kitchen routing use; a group only orders the phone menu.
class DishGroups {
public:
    explicit DishGroups(Database& db) : db_(db) {}

    // The groups of a category, in the order their first dish was added (what the dish dialog offers).
    QStringList ofCategory(const QString& category) const;
    // Empty text takes the dish out of its group. Throws StoreError for a name too long for its column.
    void set(const QString& key, const QString& group);

private:
    Database& db_;
};
