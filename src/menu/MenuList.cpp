#include "menu/MenuList.h"

#include "menu/SoldOutDishes.h"

#include "store/StoreError.h"

#include <algorithm>

void MenuList::setCategory(const QString& category) {
    category_ = category;
    refresh();
}

void MenuList::setSearchText(const QString& text) {
    searchText_ = text;
    refresh();
}

void MenuList::refresh() {
    results_.clear();
    selectedRow_.reset();
    selectedItem_.reset();
    scrollValue_ = 0;
    results_ = catalogue_.search(category_, searchText_);
    soldOut_ = SoldOutDishes(catalogue_.database()).keys();
}

void MenuList::toggleSoldOutSelected() {
    const MenuItem* item = selectedItem();
    if (!item)
        return;
    const bool soldOut = !soldOut_.contains(item->key);
    SoldOutDishes(catalogue_.database()).set(item->key, soldOut);
    if (soldOut)
        soldOut_.insert(item->key);
    else
        soldOut_.remove(item->key);
}

void MenuList::setScreenRows(int rows) {
    screenRows_ = std::max(1, rows);
    setScrollValue(scrollValue_);
}

int MenuList::scrollMaximum() const {
    return std::max<int>(0, results_.size() - screenRows_);
}

void MenuList::setScrollValue(int value) {
    scrollValue_ = std::clamp(value, 0, scrollMaximum());
}

const MenuItem* MenuList::entryAt(int screenRow) const {
    if (screenRow < 0 || screenRow >= screenRows_)
        return nullptr;
    const qsizetype index = screenRow + scrollValue_;
    return index < results_.size() ? &results_.at(index) : nullptr;
}

void MenuList::select(int screenRow) {
    const MenuItem* entry = entryAt(screenRow);
    if (!entry)
        return;
    selectedKey_ = entry->key;
    selectedItem_ = *entry;
    selectedRow_ = screenRow;
}

const MenuItem* MenuList::selectedItem() const {
    return selectedItem_ ? &*selectedItem_ : nullptr;
}

QString MenuList::add(const QDateTime& now) {
    selectedKey_ = catalogue_.newKey(now);
    return selectedKey_;
}

bool MenuList::removeSelected() {
    if (!selectedItem_)
        return false;
    const QString key = selectedItem_->key;
    refreshAfter([&] { catalogue_.remove(key); });
    return true;
}

void MenuList::clearCategory() {
    refreshAfter([&] { catalogue_.clear(category_); });
}

void MenuList::refreshAfter(const std::function<void()>& change) {
    try {
        change();
    } catch (const StoreError&) {
        // The list still shows what the table holds; the first failure is the one to report.
        try {
            refresh();
        } catch (const StoreError&) {
        }
        throw;
    }
    refresh();
}
