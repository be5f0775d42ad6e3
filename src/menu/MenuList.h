#pragma once

#include "menu/MenuCatalogue.h"

#include <QDateTime>
#include <QSet>
#include <functional>
#include <optional>

// The state of the menu window: category, search text, the result list, the screen rows over it (22 as
// designed, fewer on a small screen) and the selection. The window shows this and forwards clicks to it.
class MenuList {
public:
    static constexpr int kScreenRows = 22;

    explicit MenuList(MenuCatalogue& catalogue) : catalogue_(catalogue) {}

    const QString& category() const { return category_; }
    const QString& searchText() const { return searchText_; }
    // Both refresh the list.
    void setCategory(const QString& category);
    void setSearchText(const QString& text);

    // Runs the search again; the scroll position goes back to the top and the selection is gone.
    void refresh();

    const QList<MenuItem>& results() const { return results_; }

    // How many rows the grid shows, at least one; the scroll position stays within the new maximum.
    int screenRows() const { return screenRows_; }
    void setScreenRows(int rows);

    // The scroll bar is needed only when the results do not fit the screen rows.
    bool scrollEnabled() const { return results_.size() > screenRows_; }
    int scrollMaximum() const;
    int scrollValue() const { return scrollValue_; }
    void setScrollValue(int value);

    // The entry that screen row r shows, or nullptr for an empty row.
    const MenuItem* entryAt(int screenRow) const;

    // Selects the item on a screen row; a row without an item selects nothing.
    void select(int screenRow);
    std::optional<int> selectedRow() const { return selectedRow_; }
    // The entry the selected row showed when it was clicked (scrolling does not change it).
    const MenuItem* selectedItem() const;

    // The key the dish dialog saves under: of the item selected last, or the one Add made, whichever came
    // later.
    const QString& selectedKey() const { return selectedKey_; }
    // Makes the key for a new item; the selection stays.
    QString add(const QDateTime& now);

    // Deletes the selected item and refreshes; false when nothing was selected. Failures throw StoreError.
    bool removeSelected();
    // Deletes every item of the current category and refreshes.
    void clearCategory();

    // 估清: whether the dish is sold out, as last read; the selected dish's state turned over, keeping the
    // selection. Failures throw StoreError.
    bool isSoldOut(const QString& key) const { return soldOut_.contains(key); }
    void toggleSoldOutSelected();

private:
    // Runs a change of the table and refreshes, also when the change fails (its StoreError is passed on).
    void refreshAfter(const std::function<void()>& change);

    MenuCatalogue& catalogue_;
    QString category_ = QStringLiteral("菜品");
    QString searchText_;
    QList<MenuItem> results_;
    QSet<QString> soldOut_;
    int screenRows_ = kScreenRows;
    int scrollValue_ = 0;
    std::optional<int> selectedRow_;
    std::optional<MenuItem> selectedItem_;
    QString selectedKey_;
};
