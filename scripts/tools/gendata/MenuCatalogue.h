#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// A menu item of the generated restaurant.
struct GeneratedItem {
    QString category; // 菜品, 酒水 or 其他
    QString name;     // displayed form (may hold square brackets)
    QString initials; // pinyin initials, lower case
    QString unit;
    double price = 0;
    QString oldUnit; // unit the item carried in the first half of the period, or empty when it never changed
};

// 100 dishes, 30 drinks and 20 other goods, always the same list.
std::vector<GeneratedItem> MenuCatalogue();

// Customer names used on named bills.
QStringList CustomerNames();
