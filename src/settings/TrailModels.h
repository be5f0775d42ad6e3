#pragma once

#include "store/ActionTrail.h"

#include <QAbstractTableModel>
#include <QHash>
#include <array>

struct XlsSheet;

// 工号 → 姓名 of every account, enabled or not: the trail keeps only the 工号.
using StaffNames = QHash<QString, QString>;

// The 操作记录 window's status line for what verify() found.
QString TrailCheckText(const TrailCheck& check);

// The actions 每日汇总 counts, in its column order.
inline const QStringList kSummedActions{trail_action::kReturnDish, trail_action::kDiscount,
                                        trail_action::kReopenBill, trail_action::kDeleteBill};

// One line of 每日汇总: what one 工号 did on one day, counted per action of kSummedActions.
struct TrailDaySummary {
    QDate day;
    QString staff;
    std::array<qint64, 4> counts{};
};

// One line per day and 工号 from the database's counts, in their order (newest day first).
QList<TrailDaySummary> SummariseByDay(const QList<TrailDayCount>& counts);

// The listed trail rows: 时间, 工号, 姓名, 动作, 桌号, 单号, 内容, 原因, 批准人 (工号 and name).
class TrailListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(QList<TrailRow> rows, StaffNames names);
    // The list row showing the trail row with this 序号, or -1 when it is not listed.
    int rowOfSerial(qint64 serial) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString cell(const TrailRow& row, int column) const;
    QString approverText(const QString& staffId) const;

    QList<TrailRow> rows_;
    StaffNames names_;
};

// 每日汇总: 日期, 工号, 姓名 and a count column per action of kSummedActions.
class TrailSummaryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(QList<TrailDaySummary> rows, StaffNames names);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<TrailDaySummary> rows_;
    StaffNames names_;
};

// A model's header and cells as a sheet, whole numbers as numbers: what 导出 writes.
XlsSheet SheetOf(const QAbstractItemModel& model, const QString& name);
