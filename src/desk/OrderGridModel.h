#pragma once

#include "bill/OrderLine.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <functional>
#include <optional>

class BillDocument;
class QTimer;

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

    // Lines another writer just added or changed stand out for a few seconds.
    void highlightLines(const QStringList& lineIds);
    bool isHighlighted(int row) const;
    static constexpr int kHighlightMs = 3000;

    // Asked before a quantity goes below what the kitchen has of the line: the reason of the 退菜, or
    // nothing to leave the quantity as it is.
    void setTakeBackReason(std::function<std::optional<QString>(const OrderLine& line)> ask) {
        askTakeBackReason_ = std::move(ask);
    }

Q_SIGNALS:
    // A change could not be stored; the text says what and why.
    void writeFailed(const QString& message);

private:
    QString cellText(int row, int column) const;
    void guarded(const std::function<void()>& change);
    bool takeBackReasonGiven(int row, const QString& quantity);
    // Brings the rows in line with the bill's lines by inserting, removing and changing rows, never by a
    // reset: a cell being edited stays open while a phone's line arrives.
    void showLines();
    void dropExpiredHighlights();

    BillDocument& bill_;
    QList<OrderLine> rows_;                 // the lines as the view was last told of them
    QHash<QString, qint64> highlightUntil_; // line id -> end of its highlight (ms since the epoch)
    QTimer* highlightTimer_ = nullptr;
    std::function<std::optional<QString>(const OrderLine& line)> askTakeBackReason_;
};
