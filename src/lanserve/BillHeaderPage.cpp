#include "lanserve/BillHeaderPage.h"

#include "bill/BillStore.h"
#include "desk/OrderDesk.h"
#include "lanserve/PageTemplate.h"

PageResponse BillHeaderPage::save(const PageRequest& request) {
    PageData data;
    {
        const std::scoped_lock lock(context_.dbMutex());
        OrderDesk desk(context_.db(), kSourceWaiter);
        const int table = TableIndex(request, desk);
        OpenTable(desk, table);
        if (request.post) {
            if (!desk.tables.isOccupied(table))
                throw PageFault{400, QStringLiteral("这张餐桌还没有点菜，请先点菜再填写顾客信息。"),
                                TableLink(PhonePage::Menu, table)};
            CheckSameBill(request, desk, table);
            BillHeader changed = desk.bill.header();
            changed.customerName = Param(request, "name");
            changed.phone = Param(request, "phone");
            changed.remark = Param(request, "remark");
            CheckFits([&] { BillStore::CheckHeaderWidths(changed); }, TableLink(PhonePage::Save, table));
            desk.bill.setCustomerName(changed.customerName);
            desk.bill.setPhone(changed.phone);
            desk.bill.setBillRemark(changed.remark);
            if (desk.bill.save() == BillDocument::SaveResult::NothingToSave)
                throw PageFault{400, QStringLiteral("账单金额为 0，没有保存。"),
                                TableLink(PhonePage::Detail, table)};
            return Redirect(TableLink(PhonePage::Detail, table) + QStringLiteral("&m=saved"));
        }
        data = TableData(desk, table);
    }
    return context_.render(PhonePage::Save, data);
}
