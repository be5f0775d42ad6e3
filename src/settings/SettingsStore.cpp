#include "settings/SettingsStore.h"

#include "store/Database.h"
#include "store/NumberText.h"
#include "store/Schema.h"
#include "store/Settings.h"

#include <cmath>

SettingsStore::SettingsStore(Database& db) : db_(db) {}

void SettingsStore::ensureFilled() {
    if (!filled_)
        fill();
}

void SettingsStore::fill() {
    fillTableList();
    const std::optional<SettingsRow> row = ReadSettingsRow(db_);
    restaurantName_ = row ? row->restaurantName : QString();
    phone_ = row ? row->phone : QString();
    address_ = row ? row->address : QString();
    leftMargin_ = row ? row->leftMargin : QString();
    topMargin_ = row ? row->topMargin : QString();
    mobileFlag_ = row ? static_cast<int>(std::round(ReadNumber(row->mobileOrdering))) : 0;
    filled_ = true;
}

void SettingsStore::fillTableList() {
    QStringList names;
    QStringList keys;
    // Row i is table i everywhere, so the order is fixed explicitly: the order the rows were added.
    Statement query(db_, "SELECT \"餐桌名称\", \"编号\" FROM \"餐桌设置\" ORDER BY rowid LIMIT ?");
    query.bind(1, kMaxTables);
    while (query.next()) {
        names.append(query.text(0));
        keys.append(query.text(1));
    }
    tableList_ = names;
    tableKeys_ = keys;
}

bool SettingsStore::saveDetails() {
    ensureFilled();
    CheckWidths(QStringLiteral("综合设置"), {{"餐馆名称", restaurantName_},
                                             {"电话", phone_},
                                             {"地址", address_},
                                             {"左边距", leftMargin_},
                                             {"上边距", topMargin_}});
    Statement update(db_,
                     "UPDATE \"综合设置\" SET \"餐馆名称\" = ?, \"电话\" = ?, \"地址\" = ?, "
                     "\"左边距\" = ?, \"上边距\" = ? WHERE rowid = (SELECT min(rowid) FROM \"综合设置\")");
    update.bind(1, restaurantName_)
        .bind(2, phone_)
        .bind(3, address_)
        .bind(4, leftMargin_)
        .bind(5, topMargin_);
    update.run();
    return db_.changes() > 0;
}

void SettingsStore::discard() {
    filled_ = false;
    tableList_.clear();
    tableKeys_.clear();
}

const QString& SettingsStore::restaurantName() {
    return ensureFilled(), restaurantName_;
}
const QString& SettingsStore::phone() {
    return ensureFilled(), phone_;
}
const QString& SettingsStore::address() {
    return ensureFilled(), address_;
}
const QString& SettingsStore::leftMargin() {
    return ensureFilled(), leftMargin_;
}
const QString& SettingsStore::topMargin() {
    return ensureFilled(), topMargin_;
}
int SettingsStore::mobileFlag() {
    return ensureFilled(), mobileFlag_;
}
const QStringList& SettingsStore::tableList() {
    return ensureFilled(), tableList_;
}
const QStringList& SettingsStore::tableKeys() {
    return ensureFilled(), tableKeys_;
}
int SettingsStore::tableCount() {
    return static_cast<int>(tableList().size());
}
double SettingsStore::leftMarginMm() {
    return ReadNumber(leftMargin());
}
double SettingsStore::topMarginMm() {
    return ReadNumber(topMargin());
}

void SettingsStore::setRestaurantName(const QString& value) {
    ensureFilled(), restaurantName_ = value;
}
void SettingsStore::setPhone(const QString& value) {
    ensureFilled(), phone_ = value;
}
void SettingsStore::setAddress(const QString& value) {
    ensureFilled(), address_ = value;
}
void SettingsStore::setLeftMargin(const QString& value) {
    ensureFilled(), leftMargin_ = value;
}
void SettingsStore::setTopMargin(const QString& value) {
    ensureFilled(), topMargin_ = value;
}
void SettingsStore::setMobileFlag(int flag) {
    ensureFilled(), mobileFlag_ = flag;
}
