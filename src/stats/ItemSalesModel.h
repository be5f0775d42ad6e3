#pragma once

#include "stats/ItemSales.h"

#include <QAbstractTableModel>
#include <vector>

// The grid of the item statistic: the display rows, padded with blank rows so the 16 strips are always there.
class ItemSalesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(std::vector<ItemSalesRow> displayRows);
    int resultRows() const { return static_cast<int>(rows_.size()); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<ItemSalesRow> rows_;
};
