#pragma once

#include "main/TableMap.h"

#include <QWidget>
#include <memory>

class Database;
class OrderGridModel;
class OrderSession;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;
class SettingsStore;

// The ordering window "点餐": the menu on the left, the order grid in the middle, the customer fields and
// totals below, and the tool strip (打印清单, 结账离开, 删除, 后厨打印, 保存). Closing it saves the bill.
class OrderWindow : public QWidget {
    Q_OBJECT
public:
    OrderWindow(Database& db, TableMap& tables, SettingsStore& settings, QWidget* parent = nullptr);
    ~OrderWindow() override;

    // Fills the window with a bill, chooses 菜品 and computes the totals.
    void open(const OpenedBill& bill);
    OrderSession& session() { return *session_; }
    OrderGridModel& grid() { return *model_; }
    QTableView* gridView() const { return gridView_; }

    // Saves and closes; false (window stays open, user told why) when the save failed.
    bool saveAndClose();
    void checkOut();
    void addSelectedMenuItem();
    void chooseCategory(int index);
    void printBill();
    void printKitchenTicket();
    void deleteSelectedLine();

    static constexpr int kVisibleRows = 20;

Q_SIGNALS:
    // The bill was saved and the window closed.
    void closedAfterSave();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    QWidget* buildMenuPanel();
    QWidget* buildToolStrip();
    QWidget* buildFooter();
    void showTotals();
    void showMenu();
    void reportFailure(const QString& what, const QString& why);
    void storeHeaderFields();

    Database& db_;
    TableMap& tables_;
    SettingsStore& settings_;
    std::unique_ptr<OrderSession> session_;
    OrderGridModel* model_ = nullptr;

    QLabel* tableName_ = nullptr;     // text1
    QLabel* billId_ = nullptr;        // Label6 (hidden)
    QLabel* openedAt_ = nullptr;      // Label7
    QLabel* category_ = nullptr;      // Label5 (hidden)
    QLineEdit* search_ = nullptr;     // Text2
    QListWidget* menuList_ = nullptr; // List1
    QTableView* gridView_ = nullptr;
    QList<QPushButton*> categoryButtons_; // Command3(0..2)
    QLineEdit* phone_ = nullptr;          // Text3
    QLineEdit* name_ = nullptr;           // Text4
    QLineEdit* remark_ = nullptr;         // Text5
    QLabel* dishes_ = nullptr;            // Text6
    QLabel* drinks_ = nullptr;            // Text7
    QLabel* others_ = nullptr;            // Text8
    QLabel* receivable_ = nullptr;        // text9
    QLineEdit* received_ = nullptr;       // Text10
    QLineEdit* discount_ = nullptr;       // Text11
    QLineEdit* credit_ = nullptr;         // Text12
    bool closing_ = false;
};
