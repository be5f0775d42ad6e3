#include "desk/OrderGridModel.h"

#include "bill/BillDocument.h"
#include "store/Log.h"
#include "store/NumberText.h"
#include "store/StoreError.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QSet>
#include <QTimer>
#include <algorithm>

namespace {
const QColor kEvenRow(249, 248, 245);
const QColor kOddRow(255, 255, 255);
const QColor kSelectedRow(0, 255, 255);
const QColor kChangedElsewhere(255, 230, 140); // a line a phone just added or changed
} // namespace

OrderGridModel::OrderGridModel(BillDocument& bill, QObject* parent)
    : QAbstractTableModel(parent), bill_(bill), rows_(bill.lines()), highlightTimer_(new QTimer(this)) {
    connect(&bill_, &BillDocument::opened, this, [this] {
        beginResetModel();
        rows_ = bill_.lines();
        highlightUntil_.clear();
        endResetModel();
    });
    connect(&bill_, &BillDocument::linesChanged, this, &OrderGridModel::showLines);
    connect(&bill_, &BillDocument::lineChanged, this, [this](int line) {
        if (line < 0 || line >= rows_.size() || line >= bill_.lines().size())
            return;
        rows_[line] = bill_.lines().at(line);
        Q_EMIT dataChanged(index(line, 0), index(line, ColumnCount - 1));
    });
    connect(&bill_, &BillDocument::selectionChanged, this, [this] {
        if (rowCount() > 0)
            Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1), {Qt::BackgroundRole});
    });
    connect(&bill_, &BillDocument::linesChangedElsewhere, this, &OrderGridModel::highlightLines);
    highlightTimer_->setSingleShot(true);
    connect(highlightTimer_, &QTimer::timeout, this, &OrderGridModel::dropExpiredHighlights);
}

void OrderGridModel::showLines() {
    const QList<OrderLine>& target = bill_.lines();
    QSet<QString> targetIds;
    for (const OrderLine& line : target)
        targetIds.insert(line.lineId);
    for (int row = static_cast<int>(rows_.size()) - 1; row >= 0; --row) {
        if (targetIds.contains(rows_.at(row).lineId))
            continue;
        beginRemoveRows({}, row, row);
        rows_.removeAt(row);
        endRemoveRows();
    }
    // Lines keep their order relative to each other (sort keys never change), so what is left of the rows
    // is in the target's order, and each new line goes in where it belongs.
    for (int row = 0; row < target.size(); ++row) {
        if (row < rows_.size() && rows_.at(row).lineId == target.at(row).lineId) {
            if (rows_.at(row) != target.at(row)) {
                rows_[row] = target.at(row);
                Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
            }
            continue;
        }
        const bool alreadyShown = std::any_of(rows_.cbegin(), rows_.cend(), [&](const OrderLine& line) {
            return line.lineId == target.at(row).lineId;
        });
        if (alreadyShown) {
            beginResetModel();
            rows_ = target;
            endResetModel();
            return;
        }
        beginInsertRows({}, row, row);
        rows_.insert(row, target.at(row));
        endInsertRows();
    }
}

void OrderGridModel::highlightLines(const QStringList& lineIds) {
    const qint64 until = QDateTime::currentMSecsSinceEpoch() + kHighlightMs;
    for (const QString& id : lineIds)
        highlightUntil_.insert(id, until);
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1), {Qt::BackgroundRole});
    highlightTimer_->start(kHighlightMs);
}

void OrderGridModel::dropExpiredHighlights() {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    qint64 next = 0;
    for (auto it = highlightUntil_.begin(); it != highlightUntil_.end();) {
        if (it.value() <= now) {
            it = highlightUntil_.erase(it);
            continue;
        }
        next = next == 0 ? it.value() : std::min(next, it.value());
        ++it;
    }
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1), {Qt::BackgroundRole});
    if (next > 0)
        highlightTimer_->start(static_cast<int>(next - now));
}

bool OrderGridModel::isHighlighted(int row) const {
    return row >= 0 && row < rows_.size() && highlightUntil_.contains(rows_.at(row).lineId);
}

int OrderGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int OrderGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString OrderGridModel::cellText(int row, int column) const {
    const OrderLine& line = rows_.at(row);
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
        // A line the kitchen printers already got says so until it is marked to go again.
        return line.kitchenMark.isEmpty() && !line.kitchenHas.isEmpty() ? QStringLiteral("已送")
                                                                        : line.kitchenMark;
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
        if (index.column() == Kitchen && !rows_.at(index.row()).kitchenHas.isEmpty())
            return QStringLiteral("厨房已有 %1%2")
                .arg(rows_.at(index.row()).kitchenHas, rows_.at(index.row()).unit);
        return {};
    case Qt::BackgroundRole:
        if (index.row() == bill_.selectedLine())
            return QBrush(kSelectedRow);
        if (isHighlighted(index.row()))
            return QBrush(kChangedElsewhere);
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

bool OrderGridModel::takeBackReasonGiven(int row, const QString& quantity) {
    if (!askTakeBackReason_ || row < 0 || row >= bill_.lines().size())
        return true;
    const OrderLine& line = bill_.lines().at(row);
    bool number = false;
    const double wanted = quantity.trimmed().toDouble(&number);
    if (line.kitchenHas.isEmpty() || !number || wanted >= ReadNumber(line.kitchenHas))
        return true;
    const std::optional<QString> reason = askTakeBackReason_(line);
    if (!reason)
        return false;
    bill_.setTakeBackReason(*reason);
    return true;
}

bool OrderGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const QString text = value.toString();
    const int row = index.row();
    switch (index.column()) {
    case Quantity:
        if (!takeBackReasonGiven(row, text))
            return false;
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
