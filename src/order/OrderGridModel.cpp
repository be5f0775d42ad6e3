#include "order/OrderGridModel.h"

#include "bill/BillDocument.h"
#include "store/Log.h"
#include "store/StoreError.h"

#include <QBrush>
#include <QColor>

namespace {
const QColor kEvenRow(249, 248, 245);
const QColor kOddRow(255, 255, 255);
const QColor kSelectedRow(0, 255, 255);
} // namespace

OrderGridModel::OrderGridModel(BillDocument& bill, QObject* parent)
    : QAbstractTableModel(parent), bill_(bill) {
    connect(&bill_, &BillDocument::linesChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(&bill_, &BillDocument::lineChanged, this,
            [this](int line) { Q_EMIT dataChanged(index(line, 0), index(line, ColumnCount - 1)); });
    connect(&bill_, &BillDocument::selectionChanged, this, [this] {
        if (rowCount() > 0)
            Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1), {Qt::BackgroundRole});
    });
}

int OrderGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(bill_.lines().size());
}

int OrderGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString OrderGridModel::cellText(int row, int column) const {
    const OrderLine& line = bill_.lines().at(row);
    switch (column) {
    case Name:
        return line.name;
    case Quantity:
        return line.quantity;
    case Unit:
        return line.unit;
    case Price:
        return line.price;
    case Amount:
        return line.amount;
    case Remark:
        return line.remark;
    case Category:
        return line.category;
    case Served:
        return line.served;
    case Kitchen:
        return line.kitchenMark;
    case LineId:
        return line.lineId;
    case SortKey:
        return line.sortKey;
    default:
        return QString(); // the marker and the id column stay empty
    }
}

QVariant OrderGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cellText(index.row(), index.column());
    case Qt::ToolTipRole:
        // Names and remarks may be longer than their columns: the tooltip holds the whole text.
        if (index.column() == Name || index.column() == Remark)
            return cellText(index.row(), index.column());
        return {};
    case Qt::BackgroundRole:
        if (index.row() == bill_.selectedLine())
            return QBrush(kSelectedRow);
        if (index.column() == SortKey)
            return {};
        return QBrush(index.row() % 2 == 0 ? kEvenRow : kOddRow);
    case Qt::TextAlignmentRole:
        return index.column() == Served || index.column() == Kitchen ? int(Qt::AlignCenter)
                                                                     : int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant OrderGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const QStringList headings{QString(),
                                      QStringLiteral("名称"),
                                      QStringLiteral("数量"),
                                      QStringLiteral("单位"),
                                      QStringLiteral("单价"),
                                      QStringLiteral("金额"),
                                      QStringLiteral("备注"),
                                      QStringLiteral("分类"),
                                      QStringLiteral("id"),
                                      QStringLiteral("上菜"),
                                      QStringLiteral("后厨打印"),
                                      QStringLiteral("序号"),
                                      QStringLiteral("排序")};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headings.size())
        return headings.at(section);
    return {};
}

Qt::ItemFlags OrderGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled;
    if (index.column() == Quantity || index.column() == Price || index.column() == Remark)
        flags |= Qt::ItemIsEditable;
    return flags;
}

void OrderGridModel::guarded(const std::function<void()>& change) {
    try {
        change();
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("点餐修改未保存：") + error.text());
        Q_EMIT writeFailed(error.text());
    }
}

bool OrderGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const QString text = value.toString();
    const int row = index.row();
    switch (index.column()) {
    case Quantity:
        guarded([&] { bill_.setQuantity(row, text); });
        return true;
    case Price:
        guarded([&] { bill_.setPrice(row, text); });
        return true;
    case Remark:
        guarded([&] { bill_.setRemark(row, text); });
        return true;
    default:
        return false;
    }
}

void OrderGridModel::clickCell(const QModelIndex& index) {
    if (!index.isValid())
        return;
    const int row = index.row();
    if (index.column() == Served)
        guarded([&] { bill_.toggleServed(row); });
    else if (index.column() == Kitchen)
        bill_.toggleKitchenMark(row);
    else
        bill_.selectLine(row);
}
