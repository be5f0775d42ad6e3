#include "lanserve/OrderPages.h"

#include "bill/PendingOrders.h"
#include "bill/PhoneOrderKeys.h"
#include "desk/OrderDesk.h"
#include "lanserve/PageTemplate.h"
#include "menu/MenuCatalogue.h"
#include "menu/SoldOutDishes.h"
#include "print/PrintQueue.h"
#include "store/Database.h"
#include "store/NumberText.h"
#include "store/Schema.h"
#include "store/Settings.h"

#include <QRegularExpression>
#include <QUrl>
#include <algorithm>
#include <functional>
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

// An empty box or a zero is no choice; anything else is, and must then be a quantity the bill takes.
bool choosesNothing(const QString& text) {
    static const QRegularExpression zero(QStringLiteral("^0*(\\.0*)?$"));
    return zero.match(text).hasMatch();
}

// A dish the phone chose, as it sent it: q<key> the quantity, r<key> the remark.
using Choice = PhoneChoice;
using Choices = std::map<QString, Choice>; // by the dish's menu key

// "+key" or "-key" from a −/+ button sent without JavaScript: one more or one less of that dish.
void applyStep(Choices& choices, const QString& step) {
    if (step.size() < 2 || (step.front() != u'+' && step.front() != u'-'))
        return;
    const QString key = step.mid(1);
    Choice& choice = choices[key];
    const std::optional<QString> current = QuantityText(choice.quantity);
    if (!current && !choosesNothing(choice.quantity))
        return; // unreadable text stays as typed, for the sheet to point at
    const double next = (current ? ReadNumber(*current) : 0) + (step.front() == u'+' ? 1 : -1);
    if (next <= 0)
        choices.erase(key);
    else
        choice.quantity = NumberText(std::min(next, 9999.0));
}

Choices readChoices(const PageRequest& request) {
    Choices choices;
    for (auto it = request.params.cbegin(); it != request.params.cend(); ++it) {
        const QString& name = it.key();
        if (name.size() > 1 && name.front() == u'q' && !choosesNothing(it.value().trimmed()))
            choices[name.mid(1)].quantity = it.value().trimmed();
    }
    applyStep(choices, Param(request, "step"));
    for (auto& [key, choice] : choices)
        choice.remark = request.params.value(QLatin1Char('r') + key).trimmed();
    if (choices.size() > static_cast<size_t>(OrderPages::kMaxItemsPerOrder))
        throw PageFault{400, QStringLiteral("一次最多点 %1 种菜品。").arg(OrderPages::kMaxItemsPerOrder)};
    return choices;
}

struct CartLine {
    QString key;
    std::optional<MenuItem> item; // nullopt: the menu no longer has it
    QString quantity;             // as the bill takes it, or as typed when it cannot
    QString remark;
    QString amount;
};

struct Cart {
    std::vector<CartLine> lines;
    QStringList problems; // why it cannot be sent as it stands
    DecimalSum total;
    DecimalSum count;
};

// The choices priced from today's menu and checked against the quantity rule and, for a guest, the
// owner's limits. Every problem is named, so the whole order can be mended at once.
Cart makeCart(Database& db, const Choices& choices, const std::optional<GuestLimits>& limits) {
    const MenuCatalogue catalogue(db);
    const QSet<QString> soldOut = SoldOutDishes(db).keys();
    Cart cart;
    for (const auto& [key, choice] : choices) {
        CartLine line{key, catalogue.item(key), choice.quantity, choice.remark, {}};
        if (!line.item) {
            cart.problems.append(QStringLiteral("有一道菜已不在菜单上，请返回重新选择。"));
            cart.lines.push_back(std::move(line));
            continue;
        }
        const QString& name = line.item->name;
        if (soldOut.contains(key))
            cart.problems.append(QStringLiteral("“%1”已售完，请选别的菜。").arg(name));
        if (CharacterCount(line.remark) > OrderPages::kMaxRemarkLength)
            cart.problems.append(
                QStringLiteral("“%1”的备注太长，最多 %2 个字。").arg(name).arg(OrderPages::kMaxRemarkLength));
        const std::optional<QString> quantity = QuantityText(choice.quantity);
        if (!quantity) {
            cart.problems.append(
                QStringLiteral("“%1”的数量“%2”不对，%3").arg(name, choice.quantity, kQuantityRule));
        } else {
            line.quantity = *quantity;
            line.amount = NumberText(ReadNumber(*quantity) * ReadNumber(line.item->price));
            cart.total.add(line.amount);
            cart.count.add(*quantity);
            if (limits && ReadNumber(*quantity) > limits->perDish)
                cart.problems.append(QStringLiteral("每道菜最多点 %1%2，“%3”点了 %4%2。")
                                         .arg(limits->perDish)
                                         .arg(line.item->unit, name, *quantity));
        }
        cart.lines.push_back(std::move(line));
    }
    if (limits && cart.count.value() > limits->perOrder)
        cart.problems.append(QStringLiteral("一单最多点 %1 份，这一单共 %2 份。")
                                 .arg(limits->perOrder)
                                 .arg(cart.count.text()));
    // In menu order: by category as the tabs show them, then as the dishes were added.
    std::stable_sort(cart.lines.begin(), cart.lines.end(), [](const CartLine& a, const CartLine& b) {
        const auto rank = [](const CartLine& line) {
            return line.item ? categories().indexOf(line.item->category) : categories().size();
        };
        return rank(a) < rank(b);
    });
    return cart;
}

std::optional<GuestLimits> limitsFor(Database& db, const PageVisitor& visitor) {
    if (!visitor.guest())
        return std::nullopt;
    return ReadGuestLimits(db);
}

QString orderKeyOf(const PageRequest& request) {
    const QString key = Param(request, "k");
    return PhoneOrderKeys::LooksLikeKey(key) ? key : QString::fromLatin1(OrderPages::kKeyPlaceholder);
}

QString searchKeyOf(const MenuItem& item) {
    return MenuSearchKey(item.name, item.initials).toLower();
}

// A category's dishes under their groups: those without a group first, then each group in the order its
// first dish was added, with an index of the groups when there are two or more.
void addGroupRows(PageData& section, int category, const QList<MenuItem>& dishes,
                  const std::function<PageData(const MenuItem&)>& dishRow) {
    QStringList order{QString()};
    for (const MenuItem& dish : dishes)
        if (!order.contains(dish.group))
            order.append(dish.group);
    std::vector<PageData> rows;
    for (int g = 0; g < order.size(); ++g) {
        std::vector<PageData> items;
        for (const MenuItem& dish : dishes)
            if (dish.group == order.at(g))
                items.push_back(dishRow(dish));
        if (items.empty())
            continue;
        PageData row;
        row.set(QStringLiteral("groupName"), order.at(g));
        row.set(QStringLiteral("gid"), QStringLiteral("%1_%2").arg(category).arg(g));
        row.setRows(QStringLiteral("items"), std::move(items));
        rows.push_back(std::move(row));
    }
    section.setFlag(QStringLiteral("hasIndex"), order.size() > 2);
    section.setRows(QStringLiteral("groups"), std::move(rows));
}

// The picture's address as the menu page links it; empty for a dish without one.
QString pictureLink(const QString& key, const QHash<QString, QString>& stamps, const PageVisitor& visitor) {
    const auto stamp = stamps.constFind(key);
    if (stamp == stamps.cend())
        return {};
    QString link = QString::fromLatin1(kDishPictureFile) + QStringLiteral("?k=") +
                   QString::fromLatin1(QUrl::toPercentEncoding(key)) + QStringLiteral("&v=") +
                   QString::fromLatin1(QUrl::toPercentEncoding(*stamp));
    if (visitor.guest())
        link += QStringLiteral("&t=") + visitor.guestToken;
    return link;
}

} // namespace

PageResponse OrderPages::menu(const PageRequest& request, const PageVisitor& visitor) {
    const QString search = searchText(request);
    const int category = categoryIndex(request);
    Choices choices = readChoices(request);
    PageData data;
    {
        OpenedTable opened(context_, request, visitor, OpenedTable::Reading::OneMoment);
        data = opened.data();
        const MenuCatalogue catalogue(context_.db());
        const QSet<QString> soldOut = SoldOutDishes(context_.db()).keys();
        const QHash<QString, QString> pictures = catalogue.pictureStamps();
        std::vector<PageData> sections;
        int listed = 0;
        QSet<QString> shown;
        for (int c = 0; c < categories().size(); ++c) {
            const QList<MenuItem> dishes = catalogue.search(categories().at(c), search);
            for (const MenuItem& dish : dishes)
                shown.insert(dish.key);
            listed += static_cast<int>(dishes.size());
            PageData section;
            section.set(QStringLiteral("c"), c);
            section.set(QStringLiteral("categoryName"), categories().at(c));
            section.setFlag(QStringLiteral("current"), c == category);
            const auto dishRow = [&](const MenuItem& dish) {
                PageData item;
                item.set(QStringLiteral("key"), dish.key);
                item.set(QStringLiteral("name"), dish.name);
                item.set(QStringLiteral("price"), dish.price);
                item.set(QStringLiteral("unit"), dish.unit);
                item.set(QStringLiteral("itemRemark"), dish.remark);
                item.set(QStringLiteral("description"), dish.description);
                item.set(QStringLiteral("picture"), pictureLink(dish.key, pictures, visitor));
                item.set(QStringLiteral("find"), searchKeyOf(dish));
                item.setFlag(QStringLiteral("soldOut"), soldOut.contains(dish.key));
                const auto chosen = choices.find(dish.key);
                item.set(QStringLiteral("chosen"),
                         chosen == choices.end() ? QStringLiteral("0") : chosen->second.quantity);
                return item;
            };
            addGroupRows(section, c, dishes, dishRow);
            sections.push_back(std::move(section));
        }
        // Choices a search hides still go along with the form, and every remark the sheet was given.
        std::vector<PageData> carried;
        for (const auto& [key, choice] : choices) {
            PageData row;
            row.set(QStringLiteral("key"), key);
            row.set(QStringLiteral("quantity"), shown.contains(key) ? QString() : choice.quantity);
            row.setFlag(QStringLiteral("hidden"), !shown.contains(key));
            row.set(QStringLiteral("remark"), choice.remark);
            carried.push_back(std::move(row));
        }
        const Cart cart = makeCart(context_.db(), choices, std::nullopt);
        data.setRows(QStringLiteral("sections"), std::move(sections));
        data.setRows(QStringLiteral("carried"), std::move(carried));
        data.setFlag(QStringLiteral("found"), listed > 0);
        data.set(QStringLiteral("c"), category);
        data.set(QStringLiteral("search"), search);
        data.set(QStringLiteral("cartCount"), static_cast<int>(cart.lines.size()));
        data.set(QStringLiteral("cartTotal"), cart.total.text());
        data.set(QStringLiteral("orderKey"), orderKeyOf(request));
    }
    return context_.render(PhonePage::Menu, data);
}

PageResponse OrderPages::dishPicture(const PageRequest& request) {
    std::optional<DishPicture> picture;
    {
        const std::scoped_lock lock(context_.dbMutex());
        picture = MenuCatalogue(context_.db()).picture(Param(request, "k"));
    }
    if (!picture)
        return MessagePage(404, QStringLiteral("这道菜没有图片。"));
    PageResponse response;
    response.body = std::move(picture->jpeg);
    response.contentType = "image/jpeg";
    // An address naming an older picture gets today's, kept by no one.
    if (Param(request, "v") == picture->stamp)
        response.cacheControl = "private, max-age=31536000, immutable";
    return response;
}

PageResponse OrderPages::showSaveMenu(const PageRequest& request, const PageVisitor& visitor) {
    PageData data;
    {
        OpenedTable opened(context_, request, visitor, OpenedTable::Reading::AsItGoes);
        data = opened.data();
    }
    return context_.render(PhonePage::SaveMenu, data);
}

PageResponse OrderPages::saveMenu(const PageRequest& request, const PageVisitor& visitor) {
    if (!request.post)
        return showSaveMenu(request, visitor);
    if (Param(request, "go") == QLatin1String("1"))
        return placeOrder(request, visitor);
    return review(request, visitor);
}

// The 下单 sheet: what will be sent, a remark per dish, and the bill's total after it.
PageResponse OrderPages::review(const PageRequest& request, const PageVisitor& visitor) {
    const Choices choices = readChoices(request);
    PageData data;
    {
        OpenedTable opened(context_, request, visitor, OpenedTable::Reading::OneMoment);
        OrderDesk& desk = opened.desk();
        const TableRef& table = opened.table();
        data = opened.data();
        if (choices.empty())
            throw PageFault{400, QStringLiteral("请先选择要点的菜品。"),
                            TableLink(PhonePage::Menu, table.param)};
        const Cart cart = makeCart(context_.db(), choices, limitsFor(context_.db(), visitor));
        std::vector<PageData> lines;
        for (const CartLine& line : cart.lines) {
            PageData row;
            row.set(QStringLiteral("key"), line.key);
            row.set(QStringLiteral("name"), line.item ? line.item->name : QStringLiteral("（已不在菜单上）"));
            row.set(QStringLiteral("unit"), line.item ? line.item->unit : QString());
            row.set(QStringLiteral("price"), line.item ? line.item->price : QString());
            row.set(QStringLiteral("quantity"), line.quantity);
            row.set(QStringLiteral("amount"), line.amount);
            row.set(QStringLiteral("remark"), line.remark);
            lines.push_back(std::move(row));
        }
        std::vector<PageData> problems;
        for (const QString& problem : cart.problems)
            problems.push_back(PageData().set(QStringLiteral("text"), problem));
        DecimalSum newTotal;
        newTotal.add(desk.bill.header().receivable);
        newTotal.add(cart.total.text());
        data.setFlag(QStringLiteral("review"), true);
        data.setRows(QStringLiteral("cart"), std::move(lines));
        data.setFlag(QStringLiteral("hasProblems"), !problems.empty());
        data.setRows(QStringLiteral("problems"), std::move(problems));
        data.set(QStringLiteral("cartTotal"), cart.total.text());
        data.set(QStringLiteral("newTotal"), newTotal.text());
        data.set(QStringLiteral("orderKey"), Param(request, "k"));
        data.set(QStringLiteral("c"), categoryIndex(request));
        data.setFlag(QStringLiteral("waitsForWaiter"),
                     visitor.guest() && ReadGuestLimits(context_.db()).confirm);
    }
    PageResponse response = context_.render(PhonePage::SaveMenu, data);
    // Sent to be placed but not placeable as it stands: the sheet says why.
    if (response.status == 200 && Param(request, "go") == QLatin1String("1"))
        response.status = 400;
    return response;
}

PageResponse OrderPages::placeOrder(const PageRequest& request, const PageVisitor& visitor) {
    const Choices choices = readChoices(request);
    {
        const std::scoped_lock lock(context_.dbMutex());
        if (std::optional<PageResponse> placed = tryToPlace(request, visitor, choices))
            return *placed;
    }
    // Something in the order needs mending first: the sheet again, saying what.
    return review(request, visitor);
}

std::optional<PageResponse> OrderPages::tryToPlace(const PageRequest& request, const PageVisitor& visitor,
                                                   const std::map<QString, PhoneChoice>& choices) {
    const QString orderKey = Param(request, "k");
    Database& db = context_.db();
    const QString source = visitor.guest() ? kSourceGuest : kSourceWaiter;
    OrderDesk desk(db, source);
    const TableRef table = ResolveTable(request, desk, visitor);
    const QString detail = TableLink(PhonePage::Detail, table.param) + QStringLiteral("&m=");
    if (!PhoneOrderKeys::LooksLikeKey(orderKey))
        throw PageFault{400, QStringLiteral("这一单缺少下单凭据，请返回点菜页面重新选择。"),
                        TableLink(PhonePage::Menu, table.param)};
    // A key already taken answers with what its order came to: a double tap or Back never orders twice.
    if (const std::optional<QString> first = PhoneOrderKeys(db).resultOf(orderKey))
        return Redirect(detail + QStringLiteral("again.") + *first);
    if (Param(request, "tn") != desk.tables.tableName(table.index))
        throw PageFault{409, QStringLiteral("餐桌设置已经变动，请返回餐桌列表重新选择。")};
    if (choices.empty())
        throw PageFault{400, QStringLiteral("请先选择要点的菜品。"), TableLink(PhonePage::Menu, table.param)};
    const std::optional<GuestLimits> limits = limitsFor(db, visitor);
    const Cart cart = makeCart(db, choices, limits);
    if (!cart.problems.isEmpty())
        return std::nullopt;

    QList<PendingItem> items;
    for (const CartLine& line : cart.lines)
        items.append({line.key, line.item->category, line.item->name, line.quantity, line.remark});
    const QDateTime now = QDateTime::currentDateTime();
    // The order, its kitchen tickets and its key are one step: all of them, or nothing at all.
    Transaction step(db);
    QString result;
    if (limits && limits->confirm) {
        const QString tableKey = desk.settings.tableKeys().value(table.index);
        PendingOrders(db).add({{}, tableKey, desk.tables.tableName(table.index), now, items, {}, {}});
        result = kOrderResultPending;
    } else {
        OpenTable(desk, table.index);
        // 明细.点菜人: the waiter's 工号, or 顾客 for a guest's own order.
        desk.bill.setActor(visitor.guest() ? QStringLiteral("顾客") : visitor.staff);
        const OrderDesk::PlacedOrder placed = desk.placeOrder(items, now);
        // The kitchen does not get what no printer takes: whoever ordered is told, so a waiter can say so.
        const bool allSent = !placed.kitchen || placed.kitchen->unrouted.isEmpty();
        result = allSent ? QStringLiteral("added") : QStringLiteral("notsent");
    }
    PhoneOrderKeys(db).record(orderKey, desk.tables.tableName(table.index), result, now);
    step.commit();
    return Redirect(detail + result);
}
