#pragma once

#include <QSet>
#include <QString>

class Database;

// 估清: dishes sold out for now (菜单.估清). The phones show them as sold out and refuse to order them;
// the counter sets and clears them in 酒菜设置 with one click.
class SoldOutDishes {
public:
    explicit SoldOutDishes(Database& db) : db_(db) {}

    // The menu keys (序号) of the dishes sold out.
    QSet<QString> keys() const;
    // False when the menu has no such dish.
    bool set(const QString& key, bool soldOut);

private:
    Database& db_;
};
