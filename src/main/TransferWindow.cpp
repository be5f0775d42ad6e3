#include "main/TransferWindow.h"

#include "desk/TableMap.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

TransferWindow::TransferWindow(TableMap& tables, const QString& approver, QWidget* parent)
    : QDialog(parent), tables_(tables), approver_(approver), source_(tables.selectedTile()),
      targetName_(new QLineEdit(this)), tableList_(new QListWidget(this)) {
    setObjectName(QStringLiteral("transferWindow"));
    setWindowTitle(QStringLiteral("转桌"));
    setModal(false);

    auto* from = new QLabel(QStringLiteral("当前桌号：%1").arg(tables.tableName(source_)), this);
    targetName_->setObjectName(QStringLiteral("targetTableBox"));
    targetName_->setReadOnly(true);
    targetName_->setPlaceholderText(QStringLiteral("请选择目标桌号"));
    FrameControl(targetName_);
    auto* drop = new QPushButton(QStringLiteral("▼"), this);
    drop->setObjectName(QStringLiteral("dropDownButton"));
    drop->setFixedWidth(28);
    tableList_->setObjectName(QStringLiteral("tableList"));
    tableList_->hide();
    FrameControl(tableList_);
    for (int i = 0; i < tables.tableCount(); ++i)
        tableList_->addItem(tables.tableName(i));

    auto* ok = new QPushButton(QStringLiteral("确  定"), this);
    ok->setObjectName(QStringLiteral("confirmButton"));
    auto* cancel = new QPushButton(QStringLiteral("取  消"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));

    auto* pick = new QHBoxLayout;
    pick->setSpacing(0);
    pick->addWidget(targetName_);
    pick->addWidget(drop);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(from);
    layout->addWidget(new QLabel(QStringLiteral("转到："), this));
    layout->addLayout(pick);
    layout->addWidget(tableList_);
    layout->addLayout(buttons);
    // One width for the whole life of the window, so neither its title nor the names move or get cut.
    setFixedWidth(std::max(300, sizeHint().width()));
    closedHeight_ = std::max(150, sizeHint().height());
    resize(width(), closedHeight_);

    connect(drop, &QPushButton::clicked, this, [this] { showList(!tableList_->isVisible()); });
    connect(tableList_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { chooseTarget(tableList_->row(item)); });
    connect(ok, &QPushButton::clicked, this, &TransferWindow::confirm);
    connect(cancel, &QPushButton::clicked, this, &TransferWindow::close);
}

void TransferWindow::chooseTarget(int index) {
    if (index < 0 || index >= tableList_->count())
        return;
    target_ = index;
    targetName_->setText(tableList_->item(index)->text());
    showList(false);
}

void TransferWindow::showList(bool shown) {
    tableList_->setVisible(shown);
    // The layout's minimum follows the list now, not at the next event loop turn.
    layout()->activate();
    resize(width(), shown ? std::max(closedHeight_, sizeHint().height()) : closedHeight_);
}

void TransferWindow::confirm() {
    if (targetName_->text().isEmpty()) {
        ShowMessage(this, QStringLiteral("请首先选择桌号！"));
        return;
    }
    TableMap::TransferResult result = TableMap::TransferResult::SourceFree;
    try {
        result = tables_.transfer(source_, target_, approver_);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("转桌失败：") + error.text());
        ShowMessage(this, QStringLiteral("转桌没有完成。\n") + error.text());
        return;
    }
    if (result == TableMap::TransferResult::TargetOccupied) {
        ShowMessage(this, QStringLiteral("该桌号已被占用！"));
        return;
    }
    if (result == TableMap::TransferResult::SourceFree)
        ShowMessage(this, QStringLiteral("请桌尚未点菜，无需转桌！"));
    close();
}
