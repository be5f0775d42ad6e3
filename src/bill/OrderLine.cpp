#include "bill/OrderLine.h"

#include "store/NumberText.h"

#include <QStringList>

namespace {
QString joinFields(std::initializer_list<QString> fields) {
    QString text;
    for (const QString& field : fields)
        text += field + QLatin1Char('@');
    return text;
}
} // namespace

QString MenuRecord::toText() const {
    return joinFields({category, name, quantity, unit, price, amount, remark, kitchenMark});
}

QString MenuRecord::displayText() const {
    return name + QLatin1Char('[') + price + QStringLiteral("元/") + unit + QLatin1Char(']');
}

QString OrderLine::toText() const {
    return joinFields(
        {category, name, quantity, unit, price, amount, remark, kitchenMark, lineId, sortKey, served});
}

bool OrderLine::markedForKitchen() const {
    return kitchenMark == kMark;
}

std::optional<OrderLine> OrderLine::fromText(const QString& text) {
    if (!text.endsWith(QLatin1Char('@')))
        return std::nullopt;
    const QStringList fields = text.left(text.size() - 1).split(QLatin1Char('@'));
    if (fields.size() != 11)
        return std::nullopt;
    return OrderLine{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5],
                     fields[6], fields[7], fields[8], fields[9], fields[10]};
}

LineTotals TotalsOfLines(const QList<OrderLine>& lines) {
    DecimalSum dishes;
    DecimalSum drinks;
    DecimalSum others;
    DecimalSum total;
    for (const OrderLine& line : lines) {
        if (line.category == kDishes)
            dishes.add(line.amount);
        else if (line.category == kDrinks)
            drinks.add(line.amount);
        else if (line.category == kOthers)
            others.add(line.amount);
        else
            continue;
        total.add(line.amount);
    }
    return {dishes.text(), drinks.text(), others.text(), total.text()};
}
