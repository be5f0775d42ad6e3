#pragma once

#include "bill/Payments.h"
#include "settings/Password.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class BillDocument;
class BillPreviewWindow;
class FittedLabel;
class Database;
class MenuChoice;
class OrderGridModel;
struct OrderLine;
class QAbstractButton;
class QKeySequence;
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
    OrderWindow(Database& db, SettingsStore& settings, QWidget* parent = nullptr);
    ~OrderWindow() override;

    // The bill the window shows. Opening a bill on it fills the window and chooses 菜品.
    BillDocument& bill() { return *bill_; }
    MenuChoice& menu() { return *menu_; }
    OrderGridModel& grid() { return *model_; }
    QTableView* gridView() const { return gridView_; }

    // A read-only window shows the bill and changes nothing: no control edits, and closing saves nothing.
    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return readOnly_; }

    // Saves and closes; false (window stays open, user told why) when the save failed.
    bool saveAndClose();
    // Checks the bill out as stored now; when others changed it since the user last acted on it, asks first
    // ("手机刚加了 2 道菜，应收 184"). Closes the window once the bill has left.
    void checkOut();
    // The same once the 结账 right was given (the table map asked already): the amounts' approval, the
    // payment step, then the checkout with its payments in one step. 取消 leaves the bill as it was.
    void checkOutApproved();
    // Shows what other writers (phones, other counters) stored since: changed lines stand out for a moment.
    void followStoredBill();
    void addSelectedMenuItem();
    void chooseCategory(int index);
    void printBill();
    void printKitchenTicket();
    void deleteSelectedLine();
    // 改数量 (F2): opens the quantity of the chosen line, or else of the dish added last, for typing; Enter
    // stores it and the search box takes the keys again.
    void editQuantity();
    // The reason of a 退菜 of `line`, picked (or typed under 其他); nothing when the user cancels.
    // The approver of `right` (empty: none needed), or nothing when refused.
    std::optional<QString> approval(const QString& right);
    std::optional<QString> askTakeBackReason(const OrderLine& line);
    // Before checkout: receiving less than the bill asks (less is a discount) needs the 折扣 right, and
    // below the discount limit a 店长's approval. Nothing when it was not given.
    std::optional<QString> approveAmounts();
    // Who works in this window: their role's rights apply, a missing one asks a 店长 (settings/Approval).
    void setSignedIn(const StaffAccount& staff);

    static constexpr int kVisibleRows = 20;
    // What the grid keeps on a screen too small for the designed rows.
    static constexpr int kFewestRows = 6;

Q_SIGNALS:
    // The bill was saved and the window closed.
    void closedAfterSave();
    // Jobs for the printers were written: the spooler sends them now rather than at its next look.
    void printJobsWritten();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    QWidget* buildMenuPanel();
    QWidget* buildToolStrip();
    QWidget* buildFooter();
    void showOpenedBill();
    void showTotals();
    void showMenu();
    void reportFailure(const QString& what, const QString& why);
    void storeHeaderFields();
    void showFields();
    void showGone(const QString& reason);
    void refreshPreview();
    // Hides the window and tells the main window the bill is stored; nothing more is written.
    void closeAfterStoring();
    // The payment step for the amount due now; nothing when cancelled.
    std::optional<PaymentTally> askPayments();
    void openCashDrawers();
    void showStoredPayments();
    // Every control in the order a cashier goes through them with Tab, from the search box round again.
    void chainTabOrder();
    void addKey(QAbstractButton* button, const QKeySequence& key);

    Database& db_;
    SettingsStore& settings_;
    bool readOnly_ = false;
    BillDocument* bill_ = nullptr;
    MenuChoice* menu_ = nullptr;
    OrderGridModel* model_ = nullptr;

    FittedLabel* tableNameLabel_ = nullptr;
    QLabel* openedAtLabel_ = nullptr;
    QLineEdit* searchBox_ = nullptr;
    QListWidget* menuList_ = nullptr;
    QTableView* gridView_ = nullptr;
    QList<QPushButton*> categoryButtons_; // 菜品, 酒水, 其他
    QLineEdit* phoneEdit_ = nullptr;
    QLineEdit* customerNameEdit_ = nullptr;
    QLineEdit* remarkEdit_ = nullptr;
    QLabel* dishesLabel_ = nullptr;
    QLabel* drinksLabel_ = nullptr;
    QLabel* othersLabel_ = nullptr;
    QLabel* receivableLabel_ = nullptr;
    QLineEdit* receivedEdit_ = nullptr;
    QLineEdit* discountEdit_ = nullptr;
    QLineEdit* creditEdit_ = nullptr;
    QLineEdit* guestsEdit_ = nullptr; // 人数
    QLabel* paymentsLabel_ = nullptr; // a paid bill's payments, as stored
    QLabel* statusLabel_ = nullptr;   // why the window can only show the bill now
    QPointer<BillPreviewWindow> preview_;
    bool previewUpdateQueued_ = false;
    bool closing_ = false;
    std::optional<StaffAccount> signedIn_;
    QList<QAbstractButton*> toolButtons_; // 打印清单 … 保存, in their order
    QString lastAddedLineId_;             // what 改数量 opens when no line is chosen
    bool quantityByKey_ = false;          // the open quantity editor came from 改数量
};
