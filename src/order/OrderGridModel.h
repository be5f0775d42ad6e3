#pragma once

#include <QAbstractTableModel>
#include <functional>

class BillDocument;

// The order grid: one row per order line, thirteen columns (a row marker, then 名称 … 排序). Quantity, price
// and remark are edited in place; a click on 上菜 or 后厨打印 toggles the mark.
class OrderGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Marker, // the row marker, always empty
        Name,
        Quantity,
        Unit,
        Price,
        Amount,
        Remark,
        Category,
        Id,
        Served,
        Kitchen,
        LineId,
        SortKey,
        ColumnCount
    };

    explicit OrderGridModel(BillDocument& bill, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // A click on a cell: toggles a mark in the two mark columns, then selects the row.
    void clickCell(const QModelIndex& index);

Q_SIGNALS:
    // A change could not be stored; the text says what and why.
    void writeFailed(const QString& message);

private:
    QString cellText(int row, int column) const;
    void guarded(const std::function<void()>& change);

    BillDocument& bill_;
};
