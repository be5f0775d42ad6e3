#pragma once

#include "lanserve/PageKit.h"

// save.asp: the customer's name, telephone and the bill's remark (staff only).
class BillHeaderPage {
public:
    explicit BillHeaderPage(PageContext& context) : context_(context) {}
    PageResponse save(const PageRequest& request);

private:
    PageContext& context_;
};
