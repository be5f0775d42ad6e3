#include "main/MainWindow.h"

#include "bill/BillDocument.h"
#include "bill/BillStore.h"
#include "bill/OrderArrivals.h"
#include "bill/PendingOrders.h"
#include "bill/WaiterCalls.h"
#include "desk/CounterSession.h"
#include "desk/TableMap.h"
#include "main/GuestOrdersWindow.h"
#include "main/HandoverWindow.h"
#include "main/HistoryPanel.h"
#include "main/MergeWindow.h"
#include "main/SplitWindow.h"
#include "main/TileWidget.h"
#include "main/TransferWindow.h"
#include "menu/MenuWindow.h"
#include "mobile/MobileWindow.h"
#include "mobile/PhoneAlarm.h"
#include "mobile/ServerControl.h"
#include "order/OrderWindow.h"
#include "print/PrintQueue.h"
#include "print/PrintSpooler.h"
#include "print/PrintersPage.h"
#include "settings/Approval.h"
#include "settings/RoleRights.h"
#include "settings/SettingsStore.h"
#include "settings/SettingsWindow.h"
#include "stats/DayClose.h"
#include "stats/ItemSalesWindow.h"
#include "stats/Shifts.h"
#include "stats/TurnoverWindow.h"
#include "store/ActionTrail.h"
#include "store/Ids.h"
#include "store/Log.h"
#include "store/Settings.h"
#include "store/StoreError.h"
#include "ui/AboutBox.h"
#include "ui/Manual.h"
#include "ui/Widgets.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>

namespace {

// A toolbar caption: grey while pressed, white again on release, then it acts.
class ToolbarLabel : public QLabel {
public:
    ToolbarLabel(const QString& caption, std::function<void()> action, QWidget* parent)
        : QLabel(caption, parent), action_(std::move(action)) {
        setCursor(Qt::PointingHandCursor);
        setColour(Qt::white);
        setContentsMargins(Px(50), 0, Px(50), 0);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton)
            setColour(QColor(192, 192, 192));
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton)
            return;
        setColour(Qt::white);
        if (rect().contains(event->position().toPoint()))
            action_();
    }

private:
    void setColour(const QColor& colour) {
        // The tooltip takes this style sheet too: it keeps dark text on its own pale ground.
        setStyleSheet(QStringLiteral("QLabel { color: %1; font-size: 11pt; } "
                                     "QToolTip { color: black; background: rgb(255,255,225); }")
                          .arg(colour.name()));
    }
    std::function<void()> action_;
};

const QColor kBand(75, 151, 199);

// Typing pauses longer than this start a new table name.
constexpr qint64 kTypingPauseMs = 1500;

} // namespace

const QStringList& MainWindow::ToolbarCaptions() {
    static const QStringList captions{
        QStringLiteral("刷新"),     QStringLiteral("酒菜设置"),   QStringLiteral("结账离开"),
        QStringLiteral("明细统计"), QStringLiteral("营业额统计"), QStringLiteral("手机点餐"),
        QStringLiteral("综合设置"), QStringLiteral("操作教程"),   QStringLiteral("版本信息"),
        QStringLiteral("转台"),     QStringLiteral("换班"),       QStringLiteral("交班")};
    return captions;
}

QKeySequence MainWindow::ToolbarKey(int item) {
    return QKeySequence(Qt::Key_F1 + item);
}

MainWindow::MainWindow(CounterSession& session, QWidget* parent)
    : QMainWindow(parent), session_(session), db_(session.database()), settings_(session.settings()),
      tables_(std::make_unique<TableMap>(db_, settings_)), arrivals_(std::make_unique<OrderArrivals>(db_)),
      orderBell_([] { QApplication::beep(); }) {
    setObjectName(QStringLiteral("mainWindow"));
    showSignedIn();
    resize(1280, 760);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("MainArea"));
    central->setStyleSheet(QStringLiteral("#MainArea { background: rgb(242,242,242); }"));
    history_ = new HistoryPanel(db_, central);
    history_->setFixedWidth(Px(4110) - 8);
    connect(history_, &HistoryPanel::reopenRequested, this, &MainWindow::reopenBill);
    history_->setDeletionApproval(
        [this] { return ApproveRight(this, db_, session_.signedInAccount(), staff_right::kDeleteBill); },
        [this] { return session_.signedInStaff(); });
    history_->setDeletionGuard([this](const QString& billId) {
        return orderWindow_ && orderWindow_->isVisible() && orderWindow_->bill().billId() == billId;
    });

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(history_);
    body->addWidget(buildTileArea(), 1);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildToolbar());
    layout->addLayout(body, 1);
    setCentralWidget(central);

    tileMenu_ = new QMenu(this);
    tileMenu_->setObjectName(QStringLiteral("tilePopupMenu"));
    // The keys are only shown here, after a tab: Enter and the toolbar's keys do the same over the tiles.
    const auto withKey = [](const QString& caption, const QString& key) { return caption + u'\t' + key; };
    const auto toolbarKey = [](int item) { return ToolbarKey(item).toString(QKeySequence::NativeText); };
    tileMenu_->addAction(withKey(QStringLiteral("点餐"), QStringLiteral("Enter")), this,
                         [this] { openTable(tables_->selectedTile()); });
    tileMenu_->addAction(withKey(QStringLiteral("结账离开"), toolbarKey(2)), this,
                         &MainWindow::settleAndFreeSelected);
    tileMenu_->addSeparator();
    tileMenu_->addAction(withKey(QStringLiteral("转台"), toolbarKey(9)), this, &MainWindow::startTransfer);
    tileMenu_->addAction(QStringLiteral("拆单"), this, &MainWindow::startSplit);
    tileMenu_->addAction(QStringLiteral("并台"), this, &MainWindow::startMerge);
    undoMergeAction_ =
        tileMenu_->addAction(QStringLiteral("撤销并台"), this, &MainWindow::undoMergeOfSelected);

    connect(tables_.get(), &TableMap::slotsChanged, this, &MainWindow::showSlots);
    connect(tables_.get(), &TableMap::billsChanged, this, &MainWindow::showTileStatus);
    connect(tables_.get(), &TableMap::selectionChanged, this, &MainWindow::showSelection);

    try {
        rebuildTiles();
        tables_->refreshSlots();
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("餐桌读取失败。"), error.text());
    }
    showSelection(0);
    try {
        orderAlertOn_ = ReadNewOrderAlert(db_);
        arrivals_->sinceLastLook(); // what is stored already is not news
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("手机订单读取失败：") + error.text());
    }
    history_->runQuery();
    MobileWindow::ApplyStoredSwitch(settings_, session_.server(), this);

    // Phones and other counters write too: the tiles and the open bill follow what they store.
    connect(&session_, &CounterSession::storedChanged, this, &MainWindow::followStoredChanges);
    connect(&session_, &CounterSession::phoneAlarmRaised, this, &MainWindow::showPhoneAlarm);
    connect(&session_, &CounterSession::printerStatesChanged, this, &MainWindow::showPrinterStatus);
    connect(&session_, &CounterSession::backupWritten, this, &MainWindow::showBackupResult);
    showGuestOrdersWaiting();
    // The tiles take the keys from the start: arrows, Enter and a table's name need no click first.
    tileScroll_->setFocus();
    // The minutes on the tiles move on.
    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, &MainWindow::showTileStatus);
    clock->start(1500);
    showPrinterStatus();
}

QString MainWindowTitle(const Database& db) {
    const QString caption = QStringLiteral("澄槿餐饮点餐收银软件 V2.0");
    // Counters sharing a server say which one, so a counter left on its own file is noticed.
    return db.isServer() ? caption + QStringLiteral("（数据库服务器：%1）").arg(db.path()) : caption;
}

void MainWindow::followStoredChanges() {
    try {
        tables_->refreshSlotsIfChanged();
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("餐桌状态刷新失败：") + error.text());
    }
    showTileStatus();
    noticeArrivedOrders();
    showGuestOrdersWaiting();
    if (orderWindow_ && orderWindow_->isVisible())
        orderWindow_->followStoredBill();
}

void MainWindow::noticeArrivedOrders() {
    QList<ArrivedOrder> arrived;
    try {
        orderAlertOn_ = ReadNewOrderAlert(db_);
        arrived = arrivals_->sinceLastLook();
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("手机订单读取失败：") + error.text());
    }
    if (!orderAlertOn_) {
        unseenOrders_.clear();
        return;
    }
    for (const ArrivedOrder& order : arrived) {
        // A table open in the ordering window shows the order there at once: nothing left to look at.
        const int tile = tileOfTable(order.tableName);
        if (!order.waitsForConfirmation && tile >= 0 && tile != tableInOrderWindow())
            unseenOrders_.insert(order.tableName);
    }
    if (!arrived.isEmpty() && orderBell_)
        orderBell_();
}

int MainWindow::tileOfTable(const QString& name) {
    for (int i = 0; i < tables_->tableCount(); ++i)
        if (tables_->tableName(i) == name)
            return i;
    return -1;
}

void MainWindow::showTileAlerts() {
    for (int i = 0; i < tiles_.size(); ++i) {
        const bool listed = i < tables_->tableCount();
        const QString name = listed ? tables_->tableName(i) : QString();
        // A bill settled or moved away leaves nothing to look at on its old table.
        if (listed && !tables_->isOccupied(i))
            unseenOrders_.remove(name);
        tiles_.at(i)->setAlerting(listed && orderAlertOn_ &&
                                  (unseenOrders_.contains(name) || guestOrdersWaiting_.contains(name)));
    }
}

void MainWindow::showGuestOrdersWaiting() {
    QList<PendingOrder> waiting;
    try {
        waiting = PendingOrders(db_).waiting();
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("顾客订单读取失败：") + error.text());
    }
    guestOrdersLabel_->setText(QStringLiteral("顾客订单待确认（%1）").arg(waiting.size()));
    guestOrdersLabel_->setVisible(!waiting.isEmpty());
    guestOrdersWaiting_.clear();
    for (const PendingOrder& order : waiting)
        guestOrdersWaiting_.insert(order.tableName);
    showTileAlerts();
    if (guestOrders_)
        guestOrders_->refresh();
    showWaiterCalls();
}

void MainWindow::showWaiterCalls() {
    QStringList tables;
    try {
        for (const WaiterCall& call : WaiterCalls(db_).waiting())
            tables.append(call.tableName);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("呼叫服务员读取失败：") + error.text());
    }
    tables.removeDuplicates();
    waiterCallsLabel_->setText(tables.join(QStringLiteral("、")) + QStringLiteral(" 呼叫服务员"));
    waiterCallsLabel_->setVisible(!tables.isEmpty());
}

void MainWindow::answerWaiterCalls() {
    try {
        WaiterCalls(db_).answerAll();
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("呼叫服务员未能应答。"), error.text());
    }
    showWaiterCalls();
}

void MainWindow::openGuestOrders() {
    if (!guestOrders_) {
        guestOrders_ = new GuestOrdersWindow(db_, this);
        connect(guestOrders_, &GuestOrdersWindow::ordersSettled, this, &MainWindow::followStoredChanges);
    }
    guestOrders_->refresh();
    guestOrders_->show();
    guestOrders_->raise();
    guestOrders_->activateWindow();
}

MainWindow::~MainWindow() = default;

void MainWindow::showPrinterStatus() {
    const PrintSpooler* spooler = session_.spooler();
    if (!spooler) {
        printerStatusLabel_->hide();
        return;
    }
    QStringList parts;
    if (const QString trouble = PrinterTroubleText(spooler->states()); !trouble.isEmpty())
        parts.append(trouble);
    if (const int notSent = spooler->notRoutedToday(); notSent > 0)
        parts.append(QStringLiteral("今日 %1 张单子有菜品没有打印机接收，未送出").arg(notSent));
    printerStatusLabel_->setText(parts.join(QStringLiteral("；")));
    printerStatusLabel_->setVisible(!parts.isEmpty());
}

void MainWindow::openPrinters() {
    runToolbarItem(6);
    if (settingsWindow_)
        showPrintersPage(settingsWindow_);
}

// The printers page lies over 综合设置 and lives as long as it, shown again on each request.
void MainWindow::showPrintersPage(QWidget* settingsWindow) {
    if (!printersPage_ || printersPage_->parentWidget() != settingsWindow)
        printersPage_ = new PrintersPage(db_, settingsWindow);
    printersPage_->refresh();
    printersPage_->show();
    CenterOnScreen(printersPage_);
    printersPage_->raise();
    printersPage_->activateWindow();
}

OrderWindow* MainWindow::orderWindow() const {
    return orderWindow_.data();
}

// A notice in the toolbar band: hidden until there is news, a click handled by eventFilter.
QLabel* MainWindow::addNotice(QHBoxLayout* row, const QString& name, const QString& tip,
                              const QString& colour) {
    auto* notice = new QLabel(row->parentWidget());
    notice->setObjectName(name);
    notice->setToolTip(tip);
    notice->setStyleSheet(
        QStringLiteral("background: white; color: %1; font-size: 11pt; padding: 4px 8px;").arg(colour));
    // Two messages at once go on two lines rather than past the window's edge.
    notice->setWordWrap(true);
    notice->setCursor(Qt::PointingHandCursor);
    notice->installEventFilter(this);
    notice->hide();
    row->addWidget(notice, 0, Qt::AlignVCenter);
    return notice;
}

QWidget* MainWindow::buildToolbar() {
    auto* band = new QLabel(this);
    band->setObjectName(QStringLiteral("toolbarBand"));
    band->setFixedHeight(Px(840));
    toolbarBand_ = band;
    band->setAutoFillBackground(true);
    QPalette palette = band->palette();
    palette.setColor(QPalette::Window, kBand);
    band->setPalette(palette);
    auto* row = new QHBoxLayout(band);
    // Twelve items fit a 1366 px screen at 1.5 times the usual size.
    row->setContentsMargins(Px(300), 0, 0, 0);
    row->setSpacing(Px(180));
    for (int i = 0; i < ToolbarCaptions().size(); ++i) {
        const QString caption = ToolbarCaptions().at(i);
        auto* item = new ToolbarLabel(
            caption, [this, i] { runToolbarItem(i); }, band);
        item->setObjectName(QStringLiteral("toolbarItem%1").arg(i));
        item->setToolTip(CaptionWithKey(caption, ToolbarKey(i)));
        row->addWidget(item);
        // The key works wherever the focus is in this window, since no box here takes F-keys.
        auto* action = new QAction(caption, this);
        action->setObjectName(QStringLiteral("toolbarAction%1").arg(i));
        action->setShortcut(ToolbarKey(i));
        connect(action, &QAction::triggered, this, [this, i] { runToolbarItem(i); });
        addAction(action);
    }
    row->addStretch();
    phoneAlarmLabel_ = addNotice(row, QStringLiteral("phoneAlarmLabel"),
                                 QStringLiteral("有人在手机上多次输错服务员密码。点击关闭此提示。"),
                                 QStringLiteral("rgb(200,0,0)"));
    phoneAlarmLabel_->setText(PhoneAlarm::Warning());
    guestOrdersLabel_ =
        addNotice(row, QStringLiteral("guestOrdersLabel"),
                  QStringLiteral("顾客扫码下的单等服务员确认。点击查看。"), QStringLiteral("rgb(0,128,0)"));
    waiterCallsLabel_ = addNotice(row, QStringLiteral("waiterCallsLabel"),
                                  QStringLiteral("顾客在手机上呼叫服务员。去过之后点击关闭此提示。"),
                                  QStringLiteral("rgb(220,110,0)"));
    printerStatusLabel_ =
        addNotice(row, QStringLiteral("printerStatusLabel"), QStringLiteral("点击查看打印机和今日打印记录"),
                  QStringLiteral("rgb(200,0,0)"));
    backupStatusLabel_ = addNotice(row, QStringLiteral("backupStatusLabel"), QStringLiteral("点击查看原因"),
                                   QStringLiteral("rgb(200,0,0)"));
    row->addSpacing(Px(300));
    return band;
}

QWidget* MainWindow::buildTileArea() {
    tileScroll_ = new QScrollArea(this);
    tileScroll_->setFrameShape(QFrame::NoFrame);
    tileScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tileScroll_->setWidgetResizable(false);
    tileScroll_->setStyleSheet(QStringLiteral("QScrollArea { background: rgb(242,242,242); }"));
    tileArea_ = new QWidget;
    tileArea_->setObjectName(QStringLiteral("tileArea"));
    tileArea_->setStyleSheet(QStringLiteral("#tileArea { background: rgb(242,242,242); }"));
    for (int i = 0; i < kTileCount; ++i) {
        auto* tile = new TileWidget(i, tileArea_);
        tile->hide();
        connect(tile, &TileWidget::clicked, tables_.get(), &TableMap::selectTile);
        connect(tile, &TileWidget::doubleClicked, this, &MainWindow::openTable);
        connect(tile, &TileWidget::contextRequested, this,
                [this](int, const QPoint& globalPos) { showTilePopup(globalPos); });
        tiles_.append(tile);
    }
    tileScroll_->setWidget(tileArea_);
    tileScroll_->setObjectName(QStringLiteral("tileScroll"));
    tileScroll_->setFocusPolicy(Qt::StrongFocus);
    tileScroll_->installEventFilter(this);
    return tileScroll_;
}

void MainWindow::rebuildTiles() {
    const QStringList& names = settings_.tableList();
    for (int i = 0; i < tiles_.size(); ++i) {
        tiles_.at(i)->setVisible(i < names.size());
        tiles_.at(i)->setCaption(i < names.size() ? names.at(i) : QString());
    }
    flowTiles();
}

void MainWindow::flowTiles() {
    const int areaWidth = frameGeometry().width() * 15 - 4380 + 120;
    const QList<QPoint> positions = TableMap::FlowTiles(areaWidth);
    int bottom = 0;
    for (int i = 0; i < tiles_.size(); ++i) {
        tiles_.at(i)->move(Px(positions.at(i).x()), Px(positions.at(i).y()));
        if (tiles_.at(i)->isVisibleTo(tileArea_))
            bottom = std::max(bottom, tiles_.at(i)->geometry().bottom() + 1);
    }
    tileArea_->resize(std::max(areaWidth / 15, Px(TableMap::kTileWidth)), bottom + 8);
}

void MainWindow::showSlots() {
    for (int i = 0; i < tiles_.size(); ++i)
        tiles_.at(i)->setOccupied(tables_->isOccupied(i));
    showTileStatus();
    showTileAlerts();
}

void MainWindow::showTileStatus() {
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < tiles_.size(); ++i)
        tiles_.at(i)->setStatus(tables_->tileStatus(i, now));
}

void MainWindow::showSelection(int index) {
    for (int i = 0; i < tiles_.size(); ++i)
        tiles_.at(i)->setSelected(i == index);
}

void MainWindow::showPhoneAlarm() {
    phoneAlarmLabel_->setText(PhoneAlarm::Warning() +
                              QDateTime::currentDateTime().toString(QStringLiteral("（HH:mm）")));
    phoneAlarmLabel_->show();
}

void MainWindow::showBackupResult(const BackupResult& result) {
    if (result.failures.isEmpty()) {
        backupStatusLabel_->hide();
        return;
    }
    const QString at = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm"));
    backupFailure_ =
        QStringLiteral("%1 的数据库备份没有完成：\n%2\n\n数据库本身没有受影响，一小时后会再备份。")
            .arg(at, result.failures.join(QLatin1Char('\n')));
    backupStatusLabel_->setText(QStringLiteral("数据库备份失败（%1）").arg(at));
    backupStatusLabel_->show();
}

void MainWindow::explainBackupFailure() {
    backupStatusLabel_->hide();
    ShowMessage(this, backupFailure_);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tileScroll_ && event->type() == QEvent::KeyPress)
        return handleTileKey(static_cast<const QKeyEvent&>(*event));
    // The band keeps its designed height, taller only while a wrapped notice needs more lines than it holds.
    if (event->type() == QEvent::Resize && watched->parent() == toolbarBand_)
        toolbarBand_->setFixedHeight(
            std::max(Px(840), toolbarBand_->layout()->totalHeightForWidth(toolbarBand_->width())));
    if (watched == phoneAlarmLabel_ && event->type() == QEvent::MouseButtonRelease) {
        session_.acknowledgePhoneAlarm();
        phoneAlarmLabel_->hide();
        return true;
    }
    if (watched == waiterCallsLabel_ && event->type() == QEvent::MouseButtonRelease) {
        answerWaiterCalls();
        return true;
    }
    if (watched == guestOrdersLabel_ && event->type() == QEvent::MouseButtonRelease) {
        openGuestOrders();
        return true;
    }
    if (watched == backupStatusLabel_ && event->type() == QEvent::MouseButtonRelease) {
        explainBackupFailure();
        return true;
    }
    if (watched == printerStatusLabel_ && event->type() == QEvent::MouseButtonRelease) {
        openPrinters();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::handleTileKey(const QKeyEvent& event) {
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (event.key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
        typed_.clear();
        moveSelection(event.key());
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        typed_.clear();
        openTable(tables_->selectedTile());
        return true;
    case Qt::Key_Menu: {
        const TileWidget* tile = tiles_.value(tables_->selectedTile());
        if (tile && tile->isVisible())
            showTilePopup(tile->mapToGlobal(tile->rect().center()));
        return true;
    }
    case Qt::Key_Escape:
    case Qt::Key_Backspace:
        typed_.clear();
        return true;
    default:
        break;
    }
    const QString text = event.text();
    if (text.isEmpty() || !text.front().isLetterOrNumber())
        return false;
    selectTyped(text);
    return true;
}

void MainWindow::selectTyped(const QString& text) {
    if (!typedAt_.isValid() || typedAt_.elapsed() > kTypingPauseMs)
        typed_.clear();
    typedAt_.start();
    typed_ += text;
    const int index = TableMap::FindTyped(settings_.tableList(), typed_);
    if (index < 0)
        return;
    tables_->selectTile(index);
    tileScroll_->ensureWidgetVisible(tiles_.at(index));
}

// Left and right step through the tables in their order; up and down go to the nearest tile of the row
// above or below, as the tiles stand at this window's width.
void MainWindow::moveSelection(int key) {
    const int count = tables_->tableCount();
    if (count == 0)
        return;
    const int current = std::clamp(tables_->selectedTile(), 0, count - 1);
    int next = current;
    if (key == Qt::Key_Left)
        next = std::max(0, current - 1);
    else if (key == Qt::Key_Right)
        next = std::min(count - 1, current + 1);
    else if (key == Qt::Key_Home)
        next = 0;
    else if (key == Qt::Key_End)
        next = count - 1;
    else {
        const QPoint from = tiles_.at(current)->pos();
        const bool down = key == Qt::Key_Down;
        int best = -1;
        for (int i = 0; i < count; ++i) {
            const QPoint at = tiles_.at(i)->pos();
            if (down ? at.y() <= from.y() : at.y() >= from.y())
                continue;
            const auto distance = [&](const QPoint& p) {
                return std::pair{std::abs(p.y() - from.y()), std::abs(p.x() - from.x())};
            };
            if (best < 0 || distance(at) < distance(tiles_.at(best)->pos()))
                best = i;
        }
        if (best >= 0)
            next = best;
    }
    tables_->selectTile(next);
    tileScroll_->ensureWidgetVisible(tiles_.at(next));
}

void MainWindow::showTilePopup(const QPoint& globalPos) {
    bool merged = false;
    try {
        merged = !tables_->mergedInto(tables_->selectedTile()).isEmpty();
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("读取并台记录失败：") + error.text());
    }
    undoMergeAction_->setVisible(merged);
    tileMenu_->popup(globalPos);
}

void MainWindow::refreshTiles() {
    try {
        tables_->refreshSlots();
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("餐桌状态读取失败。"), error.text());
    }
}

bool MainWindow::closeOrderWindow() {
    if (!orderWindow_ || !orderWindow_->isVisible())
        return true;
    return orderWindow_->saveAndClose();
}

void MainWindow::openTable(int index) {
    if (index < 0 || index >= tables_->tableCount())
        return;
    if (!closeOrderWindow())
        return;
    // The cashier looks at the table now: its phone orders are seen.
    unseenOrders_.remove(tables_->tableName(index));
    showTileAlerts();
    OrderWindow* window = newOrderWindow();
    bool leased = false;
    try {
        leased = tableLease_.take(index);
        tables_->refreshSlots();
        window->bill().openTable(index, tables_->tableName(index), QDateTime::currentDateTime());
    } catch (const StoreError& error) {
        tableLease_.release();
        window->deleteLater();
        reportFailure(QStringLiteral("餐桌无法打开。"), error.text());
        return;
    }
    // Another counter is taking this table's order: this one may look, never overwrite it.
    if (!leased) {
        window->setReadOnly(true);
        ShowMessage(this, QStringLiteral("该桌正在其他收银台点餐"));
    }
    showOrderWindow(window);
}

void MainWindow::reopenBill(const QString& billId) {
    if (!closeOrderWindow())
        return;
    OrderWindow* window = newOrderWindow();
    bool leased = false;
    try {
        leased = tableLease_.takeBill(billId);
        window->bill().openClosedBill(billId);
    } catch (const StoreError& error) {
        tableLease_.release();
        window->deleteLater();
        reportFailure(QStringLiteral("账单无法打开。"), error.text());
        return;
    }
    // Another counter is correcting this bill: this one may look, never overwrite it.
    if (!leased) {
        window->setReadOnly(true);
        ShowMessage(this, QStringLiteral("该账单正在其他收银台打开"));
    } else if (const std::optional<ReopenApproval> approval = approveReopening(billId)) {
        window->bill().setReopenApprover(approval->approver);
        window->bill().setReopenReason(approval->reason);
    } else {
        // Without the 店长's approval a paid bill can be looked at, not changed.
        window->setReadOnly(true);
    }
    showOrderWindow(window);
}

std::optional<MainWindow::ReopenApproval> MainWindow::approveReopening(const QString& billId) {
    const StaffAccount& who = session_.signedInAccount();
    bool dayClosed = false;
    try {
        dayClosed = BillDayClosed(db_, billId);
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("无法确认该账单的营业日是否已日结。"), error.text());
        return std::nullopt;
    }
    if (!dayClosed) {
        const std::optional<QString> approver = ApproveRight(this, db_, who, staff_right::kReopen);
        return approver ? std::optional(ReopenApproval{*approver, {}}) : std::nullopt;
    }
    // The day's Z report is final: changing one of its bills takes a 店长 and a reason on the trail.
    const std::optional<QString> approver =
        ApproveAsOwner(this, db_, who, QStringLiteral("该账单的营业日已日结，反结账需要店长批准。"));
    if (!approver)
        return std::nullopt;
    bool chosen = false;
    const QString reason = QInputDialog::getItem(
        this, QStringLiteral("反结账"), QStringLiteral("该营业日已日结。请选择反结账原因："), kTrailReasons,
        static_cast<int>(kTrailReasons.size()) - 1, false, &chosen);
    if (!chosen)
        return std::nullopt;
    if (reason != kTrailReasons.last())
        return ReopenApproval{*approver, reason};
    const QString typed =
        QInputDialog::getText(this, QStringLiteral("反结账"), QStringLiteral("请输入原因："),
                              QLineEdit::Normal, QString(), &chosen)
            .trimmed();
    if (!chosen)
        return std::nullopt;
    return ReopenApproval{*approver, typed.isEmpty() ? reason : reason + QStringLiteral("：") + typed};
}

OrderWindow* MainWindow::newOrderWindow() {
    auto* window = new OrderWindow(db_, settings_, this);
    window->setSignedIn(session_.signedInAccount());
    // The payments go into the shift of whoever is signed in when they are taken.
    window->bill().setShiftLookup([this] { return OpenShiftStamp(db_, session_.signedInStaff()); });
    connect(&window->bill(), &BillDocument::slotStored, tables_.get(), &TableMap::setSlot);
    connect(window, &OrderWindow::printJobsWritten, &session_, &CounterSession::wakeSpooler);
    return window;
}

int MainWindow::tableInOrderWindow() const {
    return orderWindow_ && orderWindow_->isVisible() ? orderWindow_->bill().table() : -1;
}

void MainWindow::showOrderWindow(OrderWindow* window) {
    if (orderWindow_)
        orderWindow_->deleteLater();
    orderWindow_ = window;
    const bool fromHistory = window->bill().isClosedBill();
    connect(window, &OrderWindow::closedAfterSave, this, [this, fromHistory, window] {
        window->deleteLater();
        tableLease_.release();
        try {
            tables_->refreshBills();
        } catch (const StoreError& error) {
            Log::write(QStringLiteral("餐桌状态刷新失败：") + error.text());
        }
        // After a bill of the table map is saved the list shows today's bills.
        if (!fromHistory)
            history_->showToday();
    });
    window->show();
    CenterOnScreen(window);
    window->raise();
    window->activateWindow();
}

void MainWindow::settleAndFreeSelected() {
    if (!mayUse(staff_right::kCheckout))
        return;
    const int selected = tables_->selectedTile();
    // The bill open in the ordering window would occupy the table again when it saves; check it out
    // there.
    if (tableInOrderWindow() == selected) {
        orderWindow_->checkOutApproved();
        return;
    }
    // Settles the bill the tile showed; one that changed since (a phone ordered a moment ago) is asked
    // about first. The money is taken in the ordering window's payment step, on the bill as stored.
    const std::optional<QString> shown = tables_->receivableShown(selected);
    try {
        tables_->refreshSlotsIfChanged();
        if (!SlotOccupied(tables_->slotValue(selected))) {
            // No bill to pay: a damaged slot value is simply emptied.
            if (!tables_->slotValue(selected).trimmed().isEmpty())
                tables_->settle(selected);
            return;
        }
        if (const std::optional<QString> now = tables_->changedSinceShown(selected, shown);
            now &&
            !AskYesNo(this, QStringLiteral("这张桌的账单刚有变动，应收 %1。\n确定结账离开吗？").arg(*now)))
            return;
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("结账离开没有完成。"), error.text());
        return;
    }
    openTable(selected);
    if (tableInOrderWindow() != selected || orderWindow_->isReadOnly())
        return;
    orderWindow_->checkOutApproved();
    history_->runQuery();
}

void MainWindow::showSignedIn() {
    const StaffAccount& staff = session_.signedInAccount();
    setWindowTitle(MainWindowTitle(db_) +
                   (session_.nameInTitle()
                        ? QStringLiteral(" — %1（%2，%3）").arg(staff.name, staff.id, staff.role)
                        : QString()));
    tables_->setActor(staff.id);
}

void MainWindow::signedInChanged() {
    showSignedIn();
    if (orderWindow_)
        orderWindow_->setSignedIn(session_.signedInAccount());
    for (QPointer<QWidget>* window :
         {&menuWindow_, &turnoverWindow_, &itemSalesWindow_, &settingsWindow_, &handoverWindow_})
        if (*window)
            (*window)->close();
    for (QDialog* window : std::initializer_list<QDialog*>{transferWindow_, splitWindow_, mergeWindow_})
        if (window)
            window->close();
}

void MainWindow::hideForLock() {
    hiddenByLock_.clear();
    // Windows of their own are not hidden with their parent.
    for (QWidget* child : findChildren<QWidget*>())
        if (child->isWindow() && child->isVisible()) {
            hiddenByLock_.append(child);
            child->hide();
        }
    hide();
}

void MainWindow::showAfterLock() {
    show();
    for (const QPointer<QWidget>& window : std::exchange(hiddenByLock_, {}))
        if (window)
            window->show();
    raise();
    activateWindow();
}

void MainWindow::startTransfer() {
    if (tables_->slotValue(tables_->selectedTile()).isEmpty()) {
        ShowMessage(this, QStringLiteral("请桌尚未点菜，无需转桌！"));
        return;
    }
    // The tile menu's 转台 needs the right as much as the toolbar's.
    const std::optional<QString> approver =
        ApproveRight(this, db_, session_.signedInAccount(), staff_right::kTransfer);
    if (!approver)
        return;
    // An open ordering window would write its table's slot again when it saves: save it first.
    if (!closeOrderWindow())
        return;
    if (transferWindow_)
        transferWindow_->close();
    transferWindow_ = new TransferWindow(*tables_, *approver, this);
    transferWindow_->setAttribute(Qt::WA_DeleteOnClose);
    transferWindow_->show();
    CenterOnScreen(transferWindow_, Px(340));
}

// Before 拆单, 并台 or 撤销并台 on the selected table: it has a bill, the role may move bills (or a 店长
// approved it), and the ordering window, which would write its table's slot again, is saved and closed.
std::optional<QString> MainWindow::approveRegroup(const QString& freeTableMessage) {
    if (tables_->slotValue(tables_->selectedTile()).isEmpty()) {
        ShowMessage(this, freeTableMessage);
        return std::nullopt;
    }
    std::optional<QString> approver =
        ApproveRight(this, db_, session_.signedInAccount(), staff_right::kTransfer);
    if (!approver || !closeOrderWindow())
        return std::nullopt;
    for (QDialog* window : std::initializer_list<QDialog*>{transferWindow_, splitWindow_, mergeWindow_})
        if (window)
            window->close();
    return approver;
}

void MainWindow::startSplit() {
    const std::optional<QString> approver = approveRegroup(QStringLiteral("请桌尚未点菜，无需拆单！"));
    if (!approver)
        return;
    try {
        splitWindow_ = new SplitWindow(db_, *tables_, *approver, this);
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("拆单没有完成。"), error.text());
        return;
    }
    splitWindow_->setAttribute(Qt::WA_DeleteOnClose);
    splitWindow_->show();
    CenterOnScreen(splitWindow_, Px(340));
}

void MainWindow::startMerge() {
    const std::optional<QString> approver = approveRegroup(QStringLiteral("请桌尚未点菜，无法并台！"));
    if (!approver)
        return;
    mergeWindow_ = new MergeWindow(*tables_, *approver, this);
    mergeWindow_->setAttribute(Qt::WA_DeleteOnClose);
    mergeWindow_->show();
    CenterOnScreen(mergeWindow_, Px(340));
}

void MainWindow::undoMergeOfSelected() {
    const int target = tables_->selectedTile();
    QStringList names;
    try {
        for (const int table : tables_->mergedInto(target))
            names.append(tables_->tableName(table));
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("撤销并台没有完成。"), error.text());
        return;
    }
    if (names.isEmpty()) {
        ShowMessage(this, QStringLiteral("这张桌的账单没有可撤销的并台。"));
        return;
    }
    if (!AskYesNo(this, QStringLiteral("把 %1 的菜品放回各自的桌吗？").arg(names.join(QStringLiteral("、")))))
        return;
    const std::optional<QString> approver = approveRegroup(QStringLiteral("这张桌的账单没有可撤销的并台。"));
    if (!approver)
        return;
    try {
        tables_->undoMerge(target, *approver);
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("撤销并台没有完成。"), error.text());
    }
}

// The right a toolbar item needs, or empty for one anyone may use.
QString MainWindow::rightOfToolbarItem(int item) {
    using namespace staff_right;
    switch (item) {
    case 1:
        return kMenu;
    case 3:
    case 4:
        return kStatistics;
    case 6:
        return kSettings;
    default:
        return {};
    }
}

bool MainWindow::mayUse(const QString& right) {
    return right.isEmpty() || ApproveRight(this, db_, session_.signedInAccount(), right).has_value();
}

void MainWindow::runToolbarItem(int item) {
    if (!mayUse(rightOfToolbarItem(item)))
        return;
    switch (item) {
    case 0:
        refreshTiles();
        break;
    case 1:
        showToolWindow(menuWindow_, [this] { return new MenuWindow(db_, this); });
        break;
    case 2:
        settleAndFreeSelected();
        break;
    case 3:
        showToolWindow(itemSalesWindow_, [this] { return new ItemSalesWindow(db_, this); });
        break;
    case 4:
        showToolWindow(turnoverWindow_, [this] { return new TurnoverWindow(db_, this); });
        break;
    case 5:
        showToolWindow(mobileWindow_, [this] {
            auto* window = new MobileWindow(db_, settings_, session_.server(), this);
            connect(window, &MobileWindow::tutorialRequested, window,
                    [window] { OpenManual(window, kManualMobileSection); });
            return window;
        });
        break;
    case 6:
        showToolWindow(settingsWindow_, [this] {
            auto* window = new SettingsWindow(
                db_, settings_,
                [this] {
                    rebuildTiles();
                    refreshTiles();
                },
                this);
            window->setOpenTableProbe([this] { return tableInOrderWindow(); });
            window->setSignedInStaff(session_.signedInStaff());
            connect(window, &SettingsWindow::printersRequested, this,
                    [this, window] { showPrintersPage(window); });
            return window;
        });
        break;
    case 7:
        OpenManual(this);
        break;
    case 8:
        ShowAboutBox(this);
        break;
    case 9:
        startTransfer();
        break;
    case 10:
        Q_EMIT lockRequested();
        break;
    case 11:
        showToolWindow(handoverWindow_, [this] {
            auto* window = new HandoverWindow(db_, settings_, session_.signedInAccount(), this);
            connect(window, &HandoverWindow::printJobsWritten, &session_, &CounterSession::wakeSpooler);
            return window;
        });
        break;
    default:
        break;
    }
}

void MainWindow::showToolWindow(QPointer<QWidget>& window, const std::function<QWidget*()>& create) {
    if (!window) {
        window = create();
        window->setWindowFlag(Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        CenterOnScreen(window);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void MainWindow::reportFailure(const QString& what, const QString& why) {
    Log::write(what + why);
    ShowMessage(this, what + QLatin1Char('\n') + why);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    flowTiles();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    hide();
    if (!closeOrderWindow()) {
        show();
        event->ignore();
        return;
    }
    event->accept();
    if (mobileWindow_)
        mobileWindow_->close(); // stores the switch
    Q_EMIT closed();
}
