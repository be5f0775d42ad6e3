#include "lanserve/PageRoutes.h"

const QList<PageRoute>& PageRoutes() {
    static const QList<PageRoute> routes{
        {PhonePage::List, "list.asp", false},        {PhonePage::Menu, "menu.asp", true},
        {PhonePage::SaveMenu, "savemenu.asp", true}, {PhonePage::Detail, "detail.asp", true},
        {PhonePage::Modify, "modify.asp", false},    {PhonePage::Delete, "delete.asp", false},
        {PhonePage::Save, "save.asp", false},
    };
    return routes;
}

std::optional<PageRoute> FindPageRoute(const QString& name) {
    for (const PageRoute& route : PageRoutes())
        if (name == QLatin1String(route.file))
            return route;
    return std::nullopt;
}

QString PageName(PhonePage page) {
    for (const PageRoute& route : PageRoutes())
        if (route.page == page)
            return QString::fromLatin1(route.file);
    return {};
}

QStringList PageNames() {
    QStringList names;
    for (const PageRoute& route : PageRoutes())
        names.append(QString::fromLatin1(route.file));
    return names;
}
