#pragma once

#include "mobile/server/PageKit.h"

#include <QList>

struct MenuRecord;

// menu.asp lists a category (or a search) of the menu with a quantity box per item; savemenu.asp adds the
// chosen items to the table's bill. Guests reach both through their table's code.
class OrderPages {
public:
    explicit OrderPages(PageContext& context) : context_(context) {}
    PageResponse menu(const PageRequest& request, const PageVisitor& visitor);
    PageResponse saveMenu(const PageRequest& request, const PageVisitor& visitor);

    // Short text that changes whenever the listed menu does (names, prices, order); the menu page sends it
    // back with the chosen positions.
    static QString MenuFingerprint(const QList<MenuRecord>& menu);

    // Longest search text and most items accepted in one order.
    static constexpr int kMaxSearchLength = 50;
    static constexpr int kMaxItemsPerOrder = 200;

private:
    PageResponse showSaveMenu(const PageRequest& request, const PageVisitor& visitor);

    PageContext& context_;
};
