#include "stats/ItemSalesModel.h"

#include <QColor>

void ItemSalesModel::setRows(std::vector<ItemSalesRow> displayRows) {
    beginResetModel();
    rows_ = std::move(displayRows);
    endResetModel();
}

int ItemSalesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max(kVisibleRows, resultRows());
}

int ItemSalesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant ItemSalesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::BackgroundRole)
        return index.row() % 2 == 0 ? QColor(249, 248, 245) : QColor(Qt::white);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    if (index.row() >= resultRows())
        return {};
    const ItemSalesRow& row = rows_[static_cast<size_t>(index.row())];
    // A name longer than its column shows its start; the whole name is in its tooltip.
    if (role == Qt::ToolTipRole && index.column() == 0)
        return row.name;
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case 0:
        return row.name;
    case 1:
        return row.quantity;
    case 2:
        return row.unit;
    case 3:
        return row.amount;
    default:
        return {};
    }
}

QVariant ItemSalesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList headers{QStringLiteral("名   称"), QStringLiteral("数量"),
                                     QStringLiteral("单位"), QStringLiteral("金额")};
    return headers.value(section);
}
