#pragma once

#include "lanserve/PageKit.h"

// list.asp: every table with its state and, when occupied, its bill's total.
class TablePages {
public:
    explicit TablePages(PageContext& context) : context_(context) {}
    PageResponse list();

private:
    PageContext& context_;
};
