#pragma once

#include "lanserve/PageKit.h"

#include <map>
#include <optional>

// A dish a phone chose, as it sent it: q<key> the quantity, r<key> the remark.
struct PhoneChoice {
    QString quantity;
    QString remark;
};

// menu.asp lists the whole menu, a category at a time, with a quantity box per dish: the boxes are the cart,
// so choices survive switching category and searching. savemenu.asp first shows what will be sent (the 下单
// sheet, with a remark per dish and the new bill total) and then places the order once under the one-time
// key the menu page carried. Guests reach both through their table's code, within the owner's limits.
class OrderPages {
public:
    explicit OrderPages(PageContext& context) : context_(context) {}
    PageResponse menu(const PageRequest& request, const PageVisitor& visitor);
    PageResponse saveMenu(const PageRequest& request, const PageVisitor& visitor);
    // The JPEG of the dish k; 404 when it has none. Kept by the browser for good when v names the stored
    // picture, since a new picture gets a new address.
    PageResponse dishPicture(const PageRequest& request);

    // Stands in a kept menu page for its one-time key; every answer gets a fresh key in its place.
    static constexpr const char* kKeyPlaceholder = "__ORDER_KEY__";

    // Longest search text, most dishes in one order and longest remark per dish.
    static constexpr int kMaxSearchLength = 50;
    static constexpr int kMaxItemsPerOrder = 200;
    static constexpr int kMaxRemarkLength = 50;

private:
    PageResponse showSaveMenu(const PageRequest& request, const PageVisitor& visitor);
    PageResponse review(const PageRequest& request, const PageVisitor& visitor);
    PageResponse placeOrder(const PageRequest& request, const PageVisitor& visitor);
    // Places the order under its key (the caller holds the database lock); nullopt when the order needs
    // mending first.
    std::optional<PageResponse> tryToPlace(const PageRequest& request, const PageVisitor& visitor,
                                           const std::map<QString, PhoneChoice>& choices);

    PageContext& context_;
};
