#include "mobile/server/OrderPages.h"

#include "main/OrderDesk.h"
#include "mobile/server/PageTemplate.h"
#include "print/JobStore.h"
#include "print/PrintQueue.h"
#include "store/Database.h"
#include "store/NumberText.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <map>

namespace {

const QStringList& categories() {
    static const QStringList names{kDishes, kDrinks, kOthers};
    return names;
}

QString searchText(const PageRequest& request) {
    const QString search = Param(request, "s").trimmed();
    if (search.size() > OrderPages::kMaxSearchLength)
        throw PageFault{400,
                        QStringLiteral("查询内容太长，最多 %1 个字。").arg(OrderPages::kMaxSearchLength)};
    return search;
}

int categoryIndex(const PageRequest& request) {
    return std::clamp(Param(request, "c").toInt(), 0, 2);
}

// Lists the category, narrowed by the search, as the phone was shown it.
void listMenu(OrderDesk& desk, int category, const QString& search) {
    desk.menu.chooseCategory(categories().at(category));
    if (!search.isEmpty())
        desk.menu.search(search);
}

// The chosen quantities, by position in the listed menu.
std::map<int, QString> chosenQuantities(const PageRequest& request) {
    static const QRegularExpression quantityKey(QStringLiteral("^qty(\\d{1,4})$"));
    std::map<int, QString> chosen;
    for (auto it = request.params.cbegin(); it != request.params.cend(); ++it) {
        const QRegularExpressionMatch match = quantityKey.match(it.key());
        const QString value = it.value().trimmed();
        if (!match.hasMatch() || value.isEmpty() || ReadNumber(value) == 0)
            continue;
        chosen[match.captured(1).toInt()] = value;
    }
    return chosen;
}

} // namespace

QString OrderPages::MenuFingerprint(const QList<MenuRecord>& menu) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const MenuRecord& record : menu)
        hash.addData(record.toText().toUtf8() + '\n');
    return QString::fromLatin1(hash.result().toHex().left(16));
}

PageResponse OrderPages::menu(const PageRequest& request, const PageVisitor& visitor) {
    const QString search = searchText(request);
    const int category = categoryIndex(request);
    PageData data;
    {
        const std::scoped_lock lock(context_.dbMutex());
        const Transaction reading(context_.db(), Transaction::Kind::Read);
        OrderDesk desk(context_.db());
        const TableRef table = ResolveTable(request, desk, visitor);
        OpenTable(desk, table.index);
        listMenu(desk, category, search);
        data = TableData(desk, table, visitor);
        std::vector<PageData> tabs;
        for (int i = 0; i < categories().size(); ++i) {
            PageData tab;
            tab.set(QStringLiteral("c"), i);
            tab.set(QStringLiteral("categoryName"), categories().at(i));
            tab.setFlag(QStringLiteral("current"), i == category);
            tabs.push_back(std::move(tab));
        }
        std::vector<PageData> items;
        const QList<MenuRecord>& menu = desk.menu.records();
        for (int i = 0; i < menu.size(); ++i) {
            PageData item;
            item.set(QStringLiteral("i"), i);
            item.set(QStringLiteral("name"), menu.at(i).name);
            item.set(QStringLiteral("price"), menu.at(i).price);
            item.set(QStringLiteral("unit"), menu.at(i).unit);
            item.set(QStringLiteral("quantity"), menu.at(i).quantity);
            item.set(QStringLiteral("itemRemark"), menu.at(i).remark);
            items.push_back(std::move(item));
        }
        data.setRows(QStringLiteral("categories"), std::move(tabs));
        data.set(QStringLiteral("c"), category);
        data.set(QStringLiteral("category"), categories().at(category));
        data.set(QStringLiteral("search"), search);
        data.set(QStringLiteral("menuVersion"), MenuFingerprint(menu));
        data.setRows(QStringLiteral("items"), std::move(items));
    }
    return context_.render(PhonePage::Menu, data);
}

PageResponse OrderPages::showSaveMenu(const PageRequest& request, const PageVisitor& visitor) {
    PageData data;
    {
        const std::scoped_lock lock(context_.dbMutex());
        OrderDesk desk(context_.db());
        const TableRef table = ResolveTable(request, desk, visitor);
        OpenTable(desk, table.index);
        data = TableData(desk, table, visitor);
    }
    return context_.render(PhonePage::SaveMenu, data);
}

PageResponse OrderPages::saveMenu(const PageRequest& request, const PageVisitor& visitor) {
    if (!request.post)
        return showSaveMenu(request, visitor);
    const QString search = searchText(request);
    const int category = categoryIndex(request);
    const std::map<int, QString> chosen = chosenQuantities(request);

    const std::scoped_lock lock(context_.dbMutex());
    const QString source = visitor.guest() ? kSourceGuest : kSourceWaiter;
    OrderDesk desk(context_.db(), source);
    const TableRef table = ResolveTable(request, desk, visitor);
    const QString back = TableLink(PhonePage::Menu, table.param) + QStringLiteral("&c=%1").arg(category);
    if (Param(request, "tn") != desk.tables.tableName(table.index))
        throw PageFault{409, QStringLiteral("餐桌设置已经变动，请返回餐桌列表重新选择。")};
    if (chosen.empty())
        throw PageFault{400, QStringLiteral("请先填写要点的菜品数量。"), back};
    if (chosen.size() > kMaxItemsPerOrder)
        throw PageFault{400, QStringLiteral("一次最多点 %1 种菜品。").arg(kMaxItemsPerOrder), back};
    OpenTable(desk, table.index);
    listMenu(desk, category, search);

    // The positions refer to the list the phone was shown; it must still be the same list.
    const QList<MenuRecord>& menu = desk.menu.records();
    if (Param(request, "v") != MenuFingerprint(menu))
        throw PageFault{409, QStringLiteral("菜单已经变动，请重新选择。"), back};
    // Everything is checked before the first line is added, so a refused order adds nothing.
    std::vector<std::pair<int, QString>> order;
    for (const auto& [index, raw] : chosen) {
        if (index >= menu.size())
            throw PageFault{409, QStringLiteral("菜单已经变动，请重新选择。"), back};
        const std::optional<QString> quantity = QuantityText(raw);
        if (!quantity)
            throw PageFault{
                400, QStringLiteral("“%1”的数量“%2”不对，%3").arg(menu.at(index).name, raw, kQuantityRule),
                back};
        order.emplace_back(index, *quantity);
    }
    // The whole order is one step: every line at its quantity and the kitchen tickets that print them, or
    // nothing at all.
    const QDateTime now = QDateTime::currentDateTime();
    std::optional<KitchenSend> sent;
    desk.bill.runAsOneStep([&] {
        QStringList added;
        for (const auto& [index, quantity] : order) {
            const int at = desk.bill.addItem(menu.at(index), now);
            if (quantity != menu.at(index).quantity)
                desk.bill.setQuantity(at, quantity);
            added.append(desk.bill.lines().at(at).lineId);
        }
        sent =
            SendPhoneOrderToKitchen(context_.db(), desk.tables.tableName(table.index),
                                    LinesWithIds(desk.bill.lines(), added), source, now, desk.bill.billId());
    });
    // The kitchen does not get what no printer takes: whoever ordered is told, so a waiter can say so.
    const bool allSent = !sent || sent->unrouted.isEmpty();
    return Redirect(TableLink(PhonePage::Detail, table.param) +
                    (allSent ? QStringLiteral("&m=added") : QStringLiteral("&m=notsent")));
}
