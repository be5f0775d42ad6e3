#pragma once

#include "bill/TableLease.h"
#include "desk/TableMap.h"

#include <QElapsedTimer>
#include <QKeySequence>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <functional>
#include <memory>
#include <optional>

class Database;
class OrderArrivals;
class GuestOrdersWindow;
class HistoryPanel;
class TransferWindow;
class SplitWindow;
class MergeWindow;
class QAction;
class OrderWindow;
class PrintersPage;
class CounterSession;
struct BackupResult;
class QHBoxLayout;
class QKeyEvent;
class QLabel;
class QMenu;
class QScrollArea;
class SettingsStore;
class TileWidget;

// The main window: the toolbar band, the history panel on the left and one tile per dining table.
// The main window's caption; on a database server it also names the server.
QString MainWindowTitle(const Database& db);

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The session runs the counter's services; this window shows their state.
    explicit MainWindow(CounterSession& session, QWidget* parent = nullptr);
    ~MainWindow() override;

    TableMap& tables() { return *tables_; }
    SettingsStore& settings() { return settings_; }
    OrderWindow* orderWindow() const;
    TileWidget* tile(int index) const { return tiles_.value(index); }

    // The toolbar and pop-up actions.
    void refreshTiles();
    void openTable(int index);
    void settleAndFreeSelected();
    void startTransfer();
    // 拆单, 并台 and 撤销并台 on the selected table, each asking for the 转台 right.
    void startSplit();
    void startMerge();
    void undoMergeOfSelected();
    void showSignedIn();
    void reopenBill(const QString& billId);
    HistoryPanel* history() const { return history_; }
    // Shows what keeps tickets from the printers ("厨房打印机未连接，3 张待打印"), hidden while nothing does.
    void showPrinterStatus();
    // Hides every tile, then shows one per listed table with its caption (after the table list changed).
    void rebuildTiles();
    // Places the tiles by the flow rule for the current window width.
    void flowTiles();

    static const QStringList& ToolbarCaptions();
    // The toolbar's items answer F1 to F12 in the order they stand.
    static QKeySequence ToolbarKey(int item);
    // What sounds when a phone order arrives (新单提醒 on); the system's bell unless set.
    void setOrderBell(std::function<void()> bell) { orderBell_ = std::move(bell); }

    // Another person signed in after 换班/锁屏: the title, the open bill and the trail name them, and the
    // tool windows opened with the previous person's rights are closed.
    void signedInChanged();
    // 换班/锁屏: the window and every window it has open are hidden, and shown again as they were.
    void hideForLock();
    void showAfterLock();

Q_SIGNALS:
    // The user closed the window and every open bill is stored: the program may end.
    void closed();
    // 换班/锁屏: the counter goes back to the login, with everything left open as it is.
    void lockRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildToolbar();
    QWidget* buildTileArea();
    void showSlots();
    void showTileStatus();
    void showSelection(int index);
    void showPhoneAlarm();
    // Phone orders since the last look: with 新单提醒 on the bell sounds and their tables' tiles flash
    // until the table is opened here (or freed); a guest order that waits for 确认 flashes its tile until
    // a counter confirms or refuses it.
    void noticeArrivedOrders();
    void showTileAlerts();
    int tileOfTable(const QString& name);
    // Arrow keys, Enter, the menu key and a typed table name or number over the tiles.
    bool handleTileKey(const QKeyEvent& event);
    void moveSelection(int key);
    void selectTyped(const QString& text);
    // A failed hourly backup shows a notice until it is clicked (which shows why) or a later one succeeds.
    void showBackupResult(const BackupResult& result);
    void explainBackupFailure();
    // Another writer stored something: the tiles and the open ordering window show it.
    void followStoredChanges();
    // The count of guest orders waiting for 确认, shown in the toolbar while there are any.
    void showGuestOrdersWaiting();
    void openGuestOrders();
    // Tables whose guests called for a waiter; a click on the notice answers them.
    void showWaiterCalls();
    QLabel* addNotice(QHBoxLayout* row, const QString& name, const QString& tip, const QString& colour);
    void answerWaiterCalls();
    void openPrinters();
    void showPrintersPage(QWidget* settingsWindow);
    void runToolbarItem(int item);
    static QString rightOfToolbarItem(int item);
    // True when the signed-in staff may use `right`, or a 店长 approved it just now.
    bool mayUse(const QString& right);
    void showTilePopup(const QPoint& globalPos);
    bool closeOrderWindow();
    std::optional<QString> approveRegroup(const QString& freeTableMessage);
    // An ordering window whose bill keeps the tiles up to date, not shown yet.
    OrderWindow* newOrderWindow();
    void showOrderWindow(OrderWindow* window);
    // The table whose bill the ordering window shows, -1 when none or a closed bill is shown.
    int tableInOrderWindow() const;
    void reportFailure(const QString& what, const QString& why);
    // Shows a tool window, creating it on first use; a window that was closed is created afresh.
    void showToolWindow(QPointer<QWidget>& window, const std::function<QWidget*()>& create);
    // Who approved a 反结账 and why: a bill of a closed business day needs a 店长 and a reason.
    struct ReopenApproval {
        QString approver;
        QString reason;
    };
    std::optional<ReopenApproval> approveReopening(const QString& billId);

    CounterSession& session_;
    Database& db_;
    SettingsStore& settings_;
    std::unique_ptr<TableMap> tables_;
    QList<TileWidget*> tiles_;
    QWidget* tileArea_ = nullptr;
    QScrollArea* tileScroll_ = nullptr;
    HistoryPanel* history_ = nullptr;
    QPointer<TransferWindow> transferWindow_;
    QPointer<SplitWindow> splitWindow_;
    QPointer<MergeWindow> mergeWindow_;
    QPointer<QWidget> menuWindow_;
    QPointer<QWidget> turnoverWindow_;
    QPointer<QWidget> itemSalesWindow_;
    QPointer<QWidget> settingsWindow_;
    QPointer<QWidget> mobileWindow_;
    QPointer<QWidget> handoverWindow_;
    QPointer<PrintersPage> printersPage_;
    TableLease tableLease_{db_};        // the table of the ordering window, claimed against other counters
    QLabel* phoneAlarmLabel_ = nullptr; // shown when phones tried many wrong staff passwords
    QWidget* toolbarBand_ = nullptr;
    QLabel* printerStatusLabel_ = nullptr; // printers in trouble and lines no printer took
    QLabel* guestOrdersLabel_ = nullptr;   // guest orders waiting for a waiter's 确认
    QLabel* waiterCallsLabel_ = nullptr;   // tables whose guests called for a waiter
    QLabel* backupStatusLabel_ = nullptr;  // the last hourly backup failed
    QString backupFailure_;                // why, shown on a click
    QPointer<GuestOrdersWindow> guestOrders_;
    QMenu* tileMenu_ = nullptr; // 点餐, 结账离开, 转台, 拆单, 并台 (and 撤销并台) on a tile
    QAction* undoMergeAction_ = nullptr; // shown while the tile's bill has tables joined into it
    QPointer<OrderWindow> orderWindow_;
    QList<QPointer<QWidget>> hiddenByLock_;
    std::unique_ptr<OrderArrivals> arrivals_;
    bool orderAlertOn_ = false;        // 新单提醒 as last read
    QSet<QString> unseenOrders_;       // tables with phone orders on the bill not yet opened here
    QSet<QString> guestOrdersWaiting_; // tables with guest orders waiting for 确认
    std::function<void()> orderBell_;
    QString typed_; // a table name being typed over the tiles
    QElapsedTimer typedAt_;
};
