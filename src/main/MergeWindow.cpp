#include "main/MergeWindow.h"

#include "desk/TableMap.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

MergeWindow::MergeWindow(TableMap& tables, const QString& approver, QWidget* parent)
    : QDialog(parent), tables_(tables), approver_(approver), target_(tables.selectedTile()),
      list_(new QListWidget(this)) {
    setObjectName(QStringLiteral("mergeWindow"));
    setWindowTitle(QStringLiteral("并台"));
    setModal(false);

    list_->setObjectName(QStringLiteral("mergeTables"));
    FrameControl(list_);
    for (int i = 0; i < tables.tableCount(); ++i) {
        if (i == target_ || tables.slotValue(i).isEmpty())
            continue;
        const std::optional<QString> receivable = tables.receivableShown(i);
        auto* item = new QListWidgetItem(
            receivable ? QStringLiteral("%1    应收 %2").arg(tables.tableName(i), *receivable)
                       : tables.tableName(i),
            list_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setData(Qt::UserRole, i);
    }
    if (list_->count() > 0)
        list_->setCurrentRow(0);
    // Every table's name and 应收 whole, the scroll bar beside them.
    list_->setMinimumWidth(list_->sizeHintForColumn(0) + 2 * list_->frameWidth() +
                           list_->verticalScrollBar()->sizeHint().width());
    // Space or a click on a box ticks a table; Enter or a double click on its name does too.
    connect(list_, &QListWidget::itemActivated, this, [](QListWidgetItem* item) {
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    });

    auto* ok = NamedButton(QStringLiteral("确  定"), "confirmButton", this);
    auto* cancel = NamedButton(QStringLiteral("取  消"), "cancelButton", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("并入：%1").arg(tables.tableName(target_)), this));
    layout->addWidget(new QLabel(QStringLiteral("勾选要并过来的桌："), this));
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(std::max(300, sizeHint().width()), 300);

    connect(ok, &QPushButton::clicked, this, &MergeWindow::confirm);
    connect(cancel, &QPushButton::clicked, this, &MergeWindow::close);
}

bool MergeWindow::tick(int table) {
    for (int row = 0; row < list_->count(); ++row)
        if (list_->item(row)->data(Qt::UserRole).toInt() == table) {
            list_->item(row)->setCheckState(Qt::Checked);
            return true;
        }
    return false;
}

void MergeWindow::confirm() {
    QList<int> sources;
    for (int row = 0; row < list_->count(); ++row)
        if (list_->item(row)->checkState() == Qt::Checked)
            sources.append(list_->item(row)->data(Qt::UserRole).toInt());
    if (sources.isEmpty()) {
        ShowMessage(this, QStringLiteral("请勾选要并过来的桌！"));
        return;
    }
    try {
        tables_.merge(target_, sources, approver_);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("并台失败：") + error.text());
        ShowMessage(this, QStringLiteral("并台没有完成。\n") + error.text());
        return;
    }
    close();
}
