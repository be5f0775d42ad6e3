#pragma once

#include <QDialog>

class Database;
class QPushButton;
class QTableWidget;

// 顾客订单: guest orders waiting for a waiter (when the owner asked for that in 手机点餐). 确认 puts the
// chosen order on its table's bill and sends it to the kitchen; 拒绝 asks why and tells the guest's page.
class GuestOrdersWindow : public QDialog {
    Q_OBJECT
public:
    explicit GuestOrdersWindow(Database& db, QWidget* parent = nullptr);

    // Reads the waiting orders afresh, keeping the chosen one chosen where it still waits.
    void refresh();

Q_SIGNALS:
    // An order was confirmed or refused: bills and the waiting count changed.
    void ordersSettled();

private:
    QString chosenOrder() const;
    void confirmChosen();
    void refuseChosen();

    Database& db_;
    QTableWidget* list_ = nullptr;
    QPushButton* confirm_ = nullptr;
    QPushButton* refuse_ = nullptr;
};
