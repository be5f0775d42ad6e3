#include "main/SplitWindow.h"

#include "bill/BillStore.h"
#include "desk/TableMap.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

enum Column { kName, kQuantity, kUnit, kPrice, kMoving, kColumnCount };

QTableWidgetItem* FixedItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

SplitWindow::SplitWindow(Database& db, TableMap& tables, const QString& approver, QWidget* parent)
    : QDialog(parent), tables_(tables), approver_(approver), source_(tables.selectedTile()),
      lines_(BillStore(db).lines(tables.slotValue(source_))), grid_(new QTableWidget(this)),
      target_(new QComboBox(this)) {
    setObjectName(QStringLiteral("splitWindow"));
    setWindowTitle(QStringLiteral("拆单"));
    setModal(false);

    grid_->setObjectName(QStringLiteral("splitLines"));
    grid_->setColumnCount(kColumnCount);
    grid_->setHorizontalHeaderLabels({QStringLiteral("菜品"), QStringLiteral("数量"), QStringLiteral("单位"),
                                      QStringLiteral("单价"), QStringLiteral("拆出数量")});
    grid_->setRowCount(static_cast<int>(lines_.size()));
    grid_->verticalHeader()->hide();
    grid_->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    // Typing a number on a row's 拆出数量 starts editing it; Tab and the arrows move between rows.
    grid_->setEditTriggers(QAbstractItemView::AllEditTriggers);
    for (int row = 0; row < lines_.size(); ++row) {
        const OrderLine& line = lines_.at(row);
        grid_->setItem(row, kName, FixedItem(line.name));
        grid_->setItem(row, kQuantity, FixedItem(line.quantity));
        grid_->setItem(row, kUnit, FixedItem(line.unit));
        grid_->setItem(row, kPrice, FixedItem(line.price));
        grid_->setItem(row, kMoving, new QTableWidgetItem());
    }
    // Wide enough for the longest dish name; the name takes what the window gives beyond that.
    grid_->resizeColumnsToContents();
    int wanted = 2 * grid_->frameWidth() + grid_->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < kColumnCount; ++column)
        wanted += grid_->columnWidth(column);
    grid_->setMinimumWidth(wanted);
    grid_->horizontalHeader()->setSectionResizeMode(kName, QHeaderView::Stretch);
    for (const int column : {kQuantity, kUnit, kPrice, kMoving})
        grid_->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    FrameControl(grid_);
    if (!lines_.isEmpty())
        grid_->setCurrentCell(0, kMoving);
    // A double click on a dish moves all of it.
    connect(grid_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (column != kMoving)
            setMoving(row, lines_.at(row).quantity);
    });

    target_->setObjectName(QStringLiteral("splitTargetBox"));
    for (int i = 0; i < tables.tableCount(); ++i)
        if (i != source_ && tables.slotValue(i).isEmpty())
            target_->addItem(tables.tableName(i), i);

    auto* ok = NamedButton(QStringLiteral("确  定"), "confirmButton", this);
    auto* cancel = NamedButton(QStringLiteral("取  消"), "cancelButton", this);
    auto* to = new QHBoxLayout;
    to->addWidget(new QLabel(QStringLiteral("拆到："), this));
    to->addWidget(target_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("当前桌号：%1").arg(tables.tableName(source_)), this));
    layout->addWidget(new QLabel(QStringLiteral("填写每道菜要拆出的数量（双击菜名拆出整道菜）："), this));
    layout->addWidget(grid_, 1);
    layout->addLayout(to);
    layout->addLayout(buttons);
    resize(std::max(480, sizeHint().width()), 360);

    connect(ok, &QPushButton::clicked, this, &SplitWindow::confirm);
    connect(cancel, &QPushButton::clicked, this, &SplitWindow::close);
}

void SplitWindow::setMoving(int row, const QString& quantity) {
    if (QTableWidgetItem* item = grid_->item(row, kMoving))
        item->setText(quantity);
}

bool SplitWindow::chooseTarget(int table) {
    const int at = target_->findData(table);
    if (at >= 0)
        target_->setCurrentIndex(at);
    return at >= 0;
}

void SplitWindow::confirm() {
    // A cell still being edited holds the last number typed.
    grid_->setCurrentItem(nullptr);
    QList<SplitPart> parts;
    for (int row = 0; row < lines_.size(); ++row) {
        const QString moving = grid_->item(row, kMoving)->text().trimmed();
        if (!moving.isEmpty() && moving != QStringLiteral("0"))
            parts.append({lines_.at(row).lineId, moving});
    }
    if (parts.isEmpty()) {
        ShowMessage(this, QStringLiteral("请填写要拆出的数量！"));
        return;
    }
    if (target_->currentIndex() < 0) {
        ShowMessage(this, QStringLiteral("没有空桌可以拆到！"));
        return;
    }
    try {
        tables_.split(source_, target_->currentData().toInt(), parts, approver_);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("拆单失败：") + error.text());
        ShowMessage(this, QStringLiteral("拆单没有完成。\n") + error.text());
        return;
    }
    close();
}
