#include "desk/MenuChoice.h"

#include "menu/MenuCatalogue.h"
#include "store/NumberText.h"

MenuRecord MenuRecordFrom(const QString& category, const QString& name, const QString& quantity,
                          const QString& unit, const QString& price, const QString& remark) {
    MenuRecord record;
    record.category = category;
    record.name = name;
    const double count = ReadNumber(quantity);
    const double each = ReadNumber(price);
    record.quantity = NumberText(count);
    record.unit = unit;
    record.price = NumberText(each);
    record.amount = NumberText(count * each);
    record.remark = remark;
    record.kitchenMark = category == kDishes ? kMark : QString();
    return record;
}

void MenuChoice::chooseCategory(const QString& category) {
    category_ = category;
    search(QString());
}

void MenuChoice::search(const QString& text) {
    records_.clear();
    for (const MenuItem& item : MenuCatalogue(db_).search(category_, text))
        records_.append(
            MenuRecordFrom(item.category, item.name, item.quantity, item.unit, item.price, item.remark));
    Q_EMIT changed();
}
