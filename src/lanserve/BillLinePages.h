#pragma once

#include "lanserve/PageKit.h"

// detail.asp shows a table's bill line by line (guests see their own table's); modify.asp changes a line's
// quantity and remark and delete.asp takes a line off the bill (staff only).
class BillLinePages {
public:
    explicit BillLinePages(PageContext& context) : context_(context) {}
    PageResponse detail(const PageRequest& request, const PageVisitor& visitor);
    // A lowered quantity or a deleted line the kitchen has is taken back with the form's `reason`, in the
    // staff's name.
    PageResponse modify(const PageRequest& request, const PageVisitor& visitor);
    PageResponse remove(const PageRequest& request, const PageVisitor& visitor);

private:
    // 呼叫服务员 from a guest's bill page: the counter is told (once while the call waits).
    PageResponse callWaiter(const PageRequest& request, const PageVisitor& visitor);
    // A page about one line of a bill: GET shows the line, POST runs `change` on the opened bill and
    // returns to the bill with the message key `change` gives back.
    using LineChange = std::function<QString(BillDocument& bill, int table, int line)>;
    PageResponse lineForm(const PageRequest& request, const PageVisitor& visitor, PhonePage page,
                          const LineChange& change);

    PageContext& context_;
};
