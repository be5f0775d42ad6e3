#include "menu/SoldOutDishes.h"

#include "store/Database.h"

QSet<QString> SoldOutDishes::keys() const {
    Statement query(db_, "SELECT \"序号\" FROM \"菜单\" WHERE \"估清\" = '1'");
    QSet<QString> keys;
    while (query.next())
        keys.insert(query.text(0));
    return keys;
}

bool SoldOutDishes::set(const QString& key, bool soldOut) {
    Statement update(db_, "UPDATE \"菜单\" SET \"估清\" = ? WHERE \"序号\" = ?");
    update.bind(1, soldOut ? QStringLiteral("1") : QString()).bind(2, key).run();
    return db_.changes() > 0;
}
