#pragma once

#include "bill/OrderLine.h"

// One portion of a dish or drink, as the routing and the tickets see a bill line.
inline OrderLine Line(const QString& category, const QString& name) {
    OrderLine line;
    line.category = category;
    line.name = name;
    line.quantity = QStringLiteral("1");
    line.unit = QStringLiteral("份");
    return line;
}
