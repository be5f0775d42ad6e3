#pragma once

#include "lanserve/BillHeaderPage.h"
#include "lanserve/BillLinePages.h"
#include "lanserve/OrderPages.h"
#include "lanserve/PageCache.h"
#include "lanserve/PageKit.h"
#include "lanserve/StaffSignIn.h"
#include "lanserve/TablePages.h"

class Database;

// The phone pages: who may open which page, and which handler serves it. Each request builds the
// counter's own objects (settings, table map, bill document) over the shared connection, so a change from
// a phone is the change the ordering window makes. A guest with a table's code (t=<token>) may show the
// menu and the bill of that table and add dishes; everything else needs a staff session, given by signing
// in with the counter's login password. The dishes' pictures go to whoever may open the menu.
class PhonePages {
public:
    PhonePages(Database& db, FairMutex& dbMutex, QString pageFolder);

    PageResponse handle(const PageRequest& request);

    static constexpr const char* kSessionCookie = StaffSignIn::kSessionCookie;
    StaffSessions& sessions() { return signIn_.sessions(); }

    static PageResponse Message(int status, const QString& text,
                                const QString& back = PageName(PhonePage::List)) {
        return MessagePage(status, text, back);
    }

private:
    PageResponse dispatch(const PageRoute& route, const PageRequest& request, const PageVisitor& visitor);
    PageResponse dishPicture(const PageRequest& request, PageVisitor& visitor);
    PageResponse render(const PageRoute& route, const PageRequest& request, const PageVisitor& visitor);
    PageVisitor guestFor(const QString& token);
    static PageResponse faultPage(const PageFault& fault, const PageVisitor& visitor);

    PageContext context_;
    StaffSignIn signIn_;
    TablePages tables_;
    OrderPages orders_;
    BillLinePages lines_;
    BillHeaderPage header_;
    PageCache cache_;
};
