#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The seven phone pages, named here once: every link, redirect, template file and route takes its name
// from this table.
enum class PhonePage { List, Menu, SaveMenu, Detail, Modify, Delete, Save };

struct PageRoute {
    PhonePage page;
    const char* file;   // the page's name in its address and its template file in the data folder
    bool guestsMayOpen; // a guest's table code opens it; the others need a staff sign-in
};

// The address of a dish's picture beside the pages: dish.jpg?k=<menu key>&v=<the picture's stamp>, with
// t=<table code> for a guest.
inline constexpr const char* kDishPictureFile = "dish.jpg";

// Every page, in the order the phones use them.
const QList<PageRoute>& PageRoutes();
std::optional<PageRoute> FindPageRoute(const QString& name);
// "detail.asp" for PhonePage::Detail.
QString PageName(PhonePage page);
QStringList PageNames();
