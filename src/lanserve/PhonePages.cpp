#include "lanserve/PhonePages.h"

#include "bill/BillDocument.h"
#include "bill/PhoneOrderKeys.h"
#include "mobile/TableTokens.h"
#include "store/Database.h"
#include "store/Log.h"
#include "store/StoreError.h"

namespace {

bool holdsNul(const QMultiHash<QString, QString>& params) {
    for (auto it = params.cbegin(); it != params.cend(); ++it)
        if (it.key().contains(QChar(u'\0')) || it.value().contains(QChar(u'\0')))
            return true;
    return false;
}

} // namespace

PhonePages::PhonePages(Database& db, FairMutex& dbMutex, QString pageFolder)
    : context_(db, dbMutex, pageFolder), signIn_(context_), tables_(context_), orders_(context_),
      lines_(context_), header_(context_), cache_(context_, std::move(pageFolder)) {
    // Phones order into a table whichever counter has it open; that counter follows.
    db.setWriter(Database::Writer::PhonePages);
}

PageResponse PhonePages::handle(const PageRequest& request) {
    PageVisitor visitor;
    try {
        // Neither engine stores text holding a NUL and no page's form sends one, so no page gets to read
        // it: the phone is told, rather than given a failure.
        if (holdsNul(request.params))
            return MessagePage(400, QStringLiteral("提交的内容含有不能保存的空字符（NUL），请去掉后重试。"));
        if (request.page == QLatin1String(kDishPictureFile))
            return dishPicture(request, visitor);
        const std::optional<PageRoute> route = FindPageRoute(request.page);
        if (!route)
            return MessagePage(404, QStringLiteral("没有这个页面。"));
        if (route->page == PhonePage::List && request.post) {
            if (request.params.contains(QStringLiteral("password"))) {
                RequireReadableFields(request);
                return signIn_.signIn(request);
            }
            if (request.params.contains(QStringLiteral("signout")))
                return signIn_.signOut(request);
        }
        // A table's code: the guest pages of that table, whether or not the phone is signed in.
        if (const QString table = Param(request, "t"); TableTokens::LooksLikeToken(table)) {
            visitor = guestFor(table);
            if (!route->guestsMayOpen)
                throw PageFault{403, QStringLiteral("顾客只能点菜和查看本桌账单，修改或退菜请联系服务员。")};
            return dispatch(*route, request, visitor);
        }
        if (!signIn_.signedIn(request,
                              cache_.passwordStamps([&] { return signIn_.currentPasswordStamps(); })))
            return StaffSignIn::SignInPage(
                403, QString(), request.post ? PageName(PhonePage::List) : StaffSignIn::PageTarget(request));
        visitor.staff = signIn_.staffOf(request);
        return dispatch(*route, request, visitor);
    } catch (const PageFault& fault) {
        return faultPage(fault, visitor);
    } catch (const BillChangedElsewhere& changed) {
        // The counter settled the bill (or removed the line) while this request was on its way.
        return faultPage({409, changed.text() + QStringLiteral("请返回查看。")}, visitor);
    } catch (const ValueTooLong& tooLong) {
        // What the phone sent would not fit the bill's columns (a bill grown too large): the phone's to mend.
        return faultPage({400, QStringLiteral("这次提交没有保存，账单没有改动：%1").arg(tooLong.text())},
                         visitor);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("手机点餐 %1 %2 失败：%3").arg(request.peer, request.page, error.text()));
        return MessagePage(500, QStringLiteral("操作未完成，账单没有改动：%1").arg(error.text()));
    }
}

// A dish's picture is no secret, but it follows the menu's own rule, so a phone with neither a table's code
// nor a staff session still gets nothing from the server beyond its sign-in page. A guest's picture
// addresses carry the code as the guest's pages do; staff's carry none, so one kept copy serves every table.
PageResponse PhonePages::dishPicture(const PageRequest& request, PageVisitor& visitor) {
    if (request.post)
        return MessagePage(405, QStringLiteral("不支持这种请求。"));
    if (const QString table = Param(request, "t"); TableTokens::LooksLikeToken(table))
        visitor = guestFor(table);
    else if (!signIn_.signedIn(request,
                               cache_.passwordStamps([&] { return signIn_.currentPasswordStamps(); })))
        return MessagePage(403, QStringLiteral("请先登录。"));
    return orders_.dishPicture(request);
}

PageResponse PhonePages::faultPage(const PageFault& fault, const PageVisitor& visitor) {
    // A guest is never sent to the table list; their way back is their own menu.
    const QString back = visitor.guest() && fault.back == PageName(PhonePage::List)
                             ? TableLink(PhonePage::Menu, visitor.guestToken)
                             : fault.back;
    return MessagePage(fault.status, fault.text, back);
}

// Past the access checks: a page whose data has not changed comes from the cache.
PageResponse PhonePages::dispatch(const PageRoute& route, const PageRequest& request,
                                  const PageVisitor& visitor) {
    RequireReadableFields(request);
    PageResponse response =
        cache_.answer(route.page, request, visitor, [&] { return render(route, request, visitor); });
    // A kept menu page is shared; its one-time order key must not be.
    if (route.page == PhonePage::Menu)
        response.body.replace(OrderPages::kKeyPlaceholder, PhoneOrderKeys::NewKey().toLatin1());
    return response;
}

PageResponse PhonePages::render(const PageRoute& route, const PageRequest& request,
                                const PageVisitor& visitor) {
    switch (route.page) {
    case PhonePage::List:
        return tables_.list();
    case PhonePage::Menu:
        return orders_.menu(request, visitor);
    case PhonePage::SaveMenu:
        return orders_.saveMenu(request, visitor);
    case PhonePage::Detail:
        return lines_.detail(request, visitor);
    case PhonePage::Modify:
        return lines_.modify(request, visitor);
    case PhonePage::Delete:
        return lines_.remove(request, visitor);
    case PhonePage::Save:
        return header_.save(request);
    }
    return MessagePage(404, QStringLiteral("没有这个页面。"));
}

PageVisitor PhonePages::guestFor(const QString& token) {
    const std::optional<QString> key = cache_.guestKey(token, [&] {
        const std::scoped_lock lock(context_.dbMutex());
        return TableTokens::KeyForToken(context_.db(), token);
    });
    if (!key)
        throw PageFault{403,
                        QStringLiteral("这个二维码已失效或不正确，请扫描餐桌上的二维码，或联系服务员。")};
    return PageVisitor{token, *key, {}};
}
