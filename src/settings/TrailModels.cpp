#include "settings/TrailModels.h"

#include "stats/XlsWriter.h"

namespace {

const QStringList kListHeaders{QStringLiteral("时间"), QStringLiteral("工号"), QStringLiteral("姓名"),
                               QStringLiteral("动作"), QStringLiteral("桌号"), QStringLiteral("单号"),
                               QStringLiteral("内容"), QStringLiteral("原因"), QStringLiteral("批准人")};
constexpr int kContentColumn = 6; // 内容
// 日期, 工号 and 姓名 come before the counts.
constexpr int kSummaryCountsFrom = 3;

} // namespace

QString TrailCheckText(const TrailCheck& check) {
    switch (check.problem) {
    case TrailCheck::Problem::None:
        return QStringLiteral("记录完整");
    case TrailCheck::Problem::Changed:
        return QStringLiteral("记录被改动：序号 %1 起的记录不可信").arg(check.serial);
    case TrailCheck::Problem::Missing:
        return QStringLiteral("记录缺失：序号 %1 的记录被删除").arg(check.serial);
    }
    return {};
}

QList<TrailDaySummary> SummariseByDay(const QList<TrailDayCount>& counts) {
    QList<TrailDaySummary> summary;
    for (const TrailDayCount& count : counts) {
        const qsizetype column = kSummedActions.indexOf(count.action);
        if (column < 0)
            continue;
        // The counts come ordered by day and 工号, so one line's counts follow each other.
        if (summary.isEmpty() || summary.last().day != count.day || summary.last().staff != count.staff)
            summary.append({count.day, count.staff, {}});
        summary.last().counts.at(static_cast<size_t>(column)) += count.count;
    }
    return summary;
}

void TrailListModel::setRows(QList<TrailRow> rows, StaffNames names) {
    beginResetModel();
    rows_ = std::move(rows);
    names_ = std::move(names);
    endResetModel();
}

int TrailListModel::rowOfSerial(qint64 serial) const {
    for (qsizetype row = 0; row < rows_.size(); ++row)
        if (rows_.at(row).serial == serial)
            return static_cast<int>(row);
    return -1;
}

int TrailListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TrailListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kListHeaders.size());
}

QString TrailListModel::approverText(const QString& staffId) const {
    const QString name = names_.value(staffId);
    return name.isEmpty() ? staffId : staffId + QLatin1Char(' ') + name;
}

QString TrailListModel::cell(const TrailRow& row, int column) const {
    const Action& action = row.action;
    switch (column) {
    case 0:
        return action.time;
    case 1:
        return action.staff;
    case 2:
        return names_.value(action.staff);
    case 3:
        return action.action;
    case 4:
        return action.table;
    case 5:
        return action.bill;
    case kContentColumn:
        return action.content;
    case 7:
        return action.reason;
    case 8:
        return approverText(action.approver);
    default:
        return {};
    }
}

QVariant TrailListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const TrailRow& row = rows_.at(index.row());
    // A name, a table or 内容 may be longer than its column: the whole text is in the tooltip.
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return cell(row, index.column());
    return {};
}

QVariant TrailListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return kListHeaders.value(section);
}

void TrailSummaryModel::setRows(QList<TrailDaySummary> rows, StaffNames names) {
    beginResetModel();
    rows_ = std::move(rows);
    names_ = std::move(names);
    endResetModel();
}

int TrailSummaryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TrailSummaryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kSummaryCountsFrom + static_cast<int>(kSummedActions.size());
}

QVariant TrailSummaryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const TrailDaySummary& row = rows_.at(index.row());
    const int column = index.column();
    if (role == Qt::TextAlignmentRole && column >= kSummaryCountsFrom)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    // A long name shows its start; the whole name is in the tooltip.
    if (role == Qt::ToolTipRole && column == 2)
        return names_.value(row.staff);
    if (role != Qt::DisplayRole)
        return {};
    switch (column) {
    case 0:
        return row.day.toString(Qt::ISODate);
    case 1:
        return row.staff;
    case 2:
        return names_.value(row.staff);
    default:
        return row.counts.at(static_cast<size_t>(column - kSummaryCountsFrom));
    }
}

QVariant TrailSummaryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section >= kSummaryCountsFrom)
        return kSummedActions.value(section - kSummaryCountsFrom);
    return QStringList{QStringLiteral("日期"), QStringLiteral("工号"), QStringLiteral("姓名")}.value(section);
}

XlsSheet SheetOf(const QAbstractItemModel& model, const QString& name) {
    XlsSheet sheet;
    sheet.name = name;
    QList<XlsCell> header;
    for (int column = 0; column < model.columnCount(); ++column)
        header.append(XlsCell::label(model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString()));
    sheet.rows.append(header);
    for (int row = 0; row < model.rowCount(); ++row) {
        QList<XlsCell> cells;
        for (int column = 0; column < model.columnCount(); ++column) {
            const QVariant value = model.data(model.index(row, column), Qt::DisplayRole);
            // Texts stay texts even when they look like numbers: a 工号 "001" must keep its zeros.
            const bool number = value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int;
            cells.append(number ? XlsCell::number(static_cast<double>(value.toLongLong()))
                                : XlsCell::label(value.toString()));
        }
        sheet.rows.append(cells);
    }
    return sheet;
}
