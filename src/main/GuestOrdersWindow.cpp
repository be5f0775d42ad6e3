#include "main/GuestOrdersWindow.h"

#include "bill/PendingOrders.h"
#include "desk/OrderDesk.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString dishesText(const PendingOrder& order) {
    QStringList dishes;
    for (const PendingItem& item : order.items)
        dishes.append(item.name + QLatin1Char(' ') + item.quantity +
                      (item.remark.isEmpty() ? QString() : QStringLiteral("（%1）").arg(item.remark)));
    return dishes.join(QStringLiteral("、"));
}

} // namespace

GuestOrdersWindow::GuestOrdersWindow(Database& db, QWidget* parent) : QDialog(parent), db_(db) {
    setWindowTitle(QStringLiteral("顾客订单"));
    list_ = new QTableWidget(0, 3, this);
    list_->setObjectName(QStringLiteral("guestOrderList"));
    list_->setHorizontalHeaderLabels(
        {QStringLiteral("时间"), QStringLiteral("餐桌"), QStringLiteral("菜品")});
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->verticalHeader()->hide();
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setWordWrap(true);
    confirm_ = new QPushButton(QStringLiteral("确认"), this);
    confirm_->setObjectName(QStringLiteral("confirmGuestOrderButton"));
    refuse_ = new QPushButton(QStringLiteral("拒绝"), this);
    refuse_->setObjectName(QStringLiteral("refuseGuestOrderButton"));
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(confirm_);
    buttons->addWidget(refuse_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(Px(9000), Px(5400));
    connect(confirm_, &QPushButton::clicked, this, &GuestOrdersWindow::confirmChosen);
    connect(refuse_, &QPushButton::clicked, this, &GuestOrdersWindow::refuseChosen);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(list_, &QTableWidget::cellDoubleClicked, this, &GuestOrdersWindow::confirmChosen);
    refresh();
}

void GuestOrdersWindow::refresh() {
    const QString chosen = chosenOrder();
    QList<PendingOrder> orders;
    try {
        orders = PendingOrders(db_).waiting();
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("顾客订单读取失败：") + error.text());
    }
    list_->setRowCount(static_cast<int>(orders.size()));
    for (int row = 0; row < orders.size(); ++row) {
        const PendingOrder& order = orders.at(row);
        auto* time = new QTableWidgetItem(order.at.toString(QStringLiteral("HH:mm")));
        time->setData(Qt::UserRole, order.id);
        list_->setItem(row, 0, time);
        list_->setItem(row, 1, new QTableWidgetItem(order.tableName));
        list_->setItem(row, 2, new QTableWidgetItem(dishesText(order)));
        if (order.id == chosen || (chosen.isEmpty() && row == 0))
            list_->selectRow(row);
    }
    list_->resizeRowsToContents();
    confirm_->setEnabled(!orders.isEmpty());
    refuse_->setEnabled(!orders.isEmpty());
}

QString GuestOrdersWindow::chosenOrder() const {
    const QList<QTableWidgetItem*> chosen = list_->selectedItems();
    if (chosen.isEmpty())
        return {};
    const QTableWidgetItem* first = list_->item(chosen.first()->row(), 0);
    return first ? first->data(Qt::UserRole).toString() : QString();
}

void GuestOrdersWindow::confirmChosen() {
    const QString id = chosenOrder();
    if (id.isEmpty())
        return;
    try {
        OrderDesk desk(db_, kSourceGuest);
        desk.confirmGuestOrder(id, QDateTime::currentDateTime());
    } catch (const StoreError& error) {
        ShowMessage(this, QStringLiteral("这一单没有加入账单：%1").arg(error.text()));
    }
    refresh();
    Q_EMIT ordersSettled();
}

void GuestOrdersWindow::refuseChosen() {
    const QString id = chosenOrder();
    if (id.isEmpty())
        return;
    bool ok = false;
    const QString reason =
        QInputDialog::getText(this, QStringLiteral("拒绝顾客订单"),
                              QStringLiteral("告诉顾客原因（可不填）："), QLineEdit::Normal, QString(), &ok)
            .trimmed();
    if (!ok)
        return;
    try {
        OrderDesk(db_, kSourceGuest).refuseGuestOrder(id, reason.left(100));
    } catch (const StoreError& error) {
        ShowMessage(this, error.text());
    }
    refresh();
    Q_EMIT ordersSettled();
}
