#include "order/OrderWindow.h"

#include "bill/BillDocument.h"
#include "desk/MenuChoice.h"
#include "desk/OrderGridModel.h"
#include "order/PaymentDialog.h"
#include "print/BillPreviewWindow.h"
#include "print/JobStore.h"
#include "print/PrintQueue.h"
#include "print/Printing.h"
#include "settings/Approval.h"
#include "settings/RoleRights.h"
#include "settings/SettingsStore.h"
#include "store/ActionTrail.h"
#include "store/Fen.h"
#include "store/Log.h"
#include "store/NumberText.h"
#include "store/StoreError.h"
#include "ui/FittedLabel.h"
#include "ui/GivingColumns.h"
#include "ui/WholeRowsHolder.h"
#include "ui/Widgets.h"

#include <QAbstractButton>
#include <QAbstractItemDelegate>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int kGridRowHeight = 22;
// The widest figure each column holds (a ten-character amount, a line id of 15 digits); a column is never
// narrower than its figure, whatever the font. Names and remarks may be cut: their tooltips hold them whole.
constexpr int kDesignedWidths[] = {12, 150, 50, 45, 55, 60, 120, 45, 30, 40, 60, 110, 45};
const char* const kWidestFigures[] = {"", "", "99999.5", "", "9999999.99",      "9999999.99", "",
                                      "", "", "",        "", "261231235959999", "3999"};
const QStringList kCategories{QStringLiteral("菜品"), QStringLiteral("酒水"), QStringLiteral("其他")};

QLabel* valueLabel(QWidget* parent, const QString& objectName) {
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setMinimumWidth(60);
    label->setStyleSheet(QStringLiteral("color: rgb(200,0,0); font-weight: bold;"));
    return label;
}

QLineEdit* box(QWidget* parent, const QString& objectName) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    FrameControl(edit);
    return edit;
}

// 人数: a whole number of guests up to 999, or nothing when not counted; as wide as three digits need.
QLineEdit* guestsBox(QWidget* parent) {
    QLineEdit* edit = box(parent, QStringLiteral("guestsEdit"));
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), edit));
    edit->setMaxLength(3);
    edit->setAlignment(Qt::AlignRight);
    const int frame = 2 * edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
    const QMargins margins = edit->textMargins();
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("9999")) + frame +
                        margins.left() + margins.right());
    return edit;
}

} // namespace

OrderWindow::OrderWindow(Database& db, SettingsStore& settings, QWidget* parent)
    : QWidget(parent, Qt::Window), db_(db), settings_(settings), bill_(new BillDocument(db, this)),
      menu_(new MenuChoice(db, this)) {
    setObjectName(QStringLiteral("orderWindow"));
    setWindowTitle(QStringLiteral("点餐"));
    bill_->setKitchenRules(KitchenRulesFor(db, kSourceCounter));
    model_ = new OrderGridModel(*bill_, this);
    model_->setTakeBackReason([this](const OrderLine& line) { return askTakeBackReason(line); });
    buildLayout();
    // The designed width; on a small screen the grid scrolls sideways and gives up rows.
    resize(Px(14860), sizeHint().height());

    connect(model_, &OrderGridModel::writeFailed, this,
            [this](const QString& why) { reportFailure(QStringLiteral("这次修改没有保存。"), why); });
    connect(bill_, &BillDocument::opened, this, &OrderWindow::showOpenedBill);
    connect(bill_, &BillDocument::totalsChanged, this, &OrderWindow::showTotals);
    connect(bill_, &BillDocument::fieldsChanged, this, &OrderWindow::showFields);
    connect(bill_, &BillDocument::gone, this, &OrderWindow::showGone);
    connect(bill_, &BillDocument::kitchenTicketsWritten, this, &OrderWindow::printJobsWritten);
    for (auto signal :
         {&BillDocument::linesChanged, &BillDocument::totalsChanged, &BillDocument::fieldsChanged})
        connect(bill_, signal, this, &OrderWindow::refreshPreview);
    connect(menu_, &MenuChoice::changed, this, &OrderWindow::showMenu);
}

OrderWindow::~OrderWindow() = default;

void OrderWindow::buildLayout() {
    auto* header = new QHBoxLayout;
    QFont nameFont = font();
    nameFont.setPointSize(16);
    nameFont.setBold(true);
    // The table name has the window's whole width; a long one is set smaller rather than cut.
    tableNameLabel_ = new FittedLabel(nameFont, 9, this);
    tableNameLabel_->setObjectName(QStringLiteral("tableNameLabel"));
    tableNameLabel_->setStyleSheet(QStringLiteral("color: rgb(75,151,199);"));
    openedAtLabel_ = new QLabel(this);
    openedAtLabel_->setObjectName(QStringLiteral("openedAtLabel"));
    statusLabel_ = new QLabel(this);
    statusLabel_->setObjectName(QStringLiteral("statusLabel"));
    statusLabel_->setStyleSheet(QStringLiteral("color: rgb(200,0,0); font-weight: bold;"));
    statusLabel_->setWordWrap(true);
    statusLabel_->hide();
    header->addWidget(new QLabel(QStringLiteral("开台时间："), this));
    header->addWidget(openedAtLabel_);
    header->addWidget(statusLabel_, 1);
    header->addStretch();
    header->addWidget(buildToolStrip());

    gridView_ = new QTableView(this);
    gridView_->setObjectName(QStringLiteral("orderGrid"));
    gridView_->setModel(model_);
    gridView_->setSelectionMode(QAbstractItemView::NoSelection);
    gridView_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::AnyKeyPressed);
    gridView_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    gridView_->verticalHeader()->hide();
    gridView_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The designed row height, or taller when the font needs it.
    const int rowHeight = std::max(kGridRowHeight, gridView_->fontMetrics().height() + 4);
    gridView_->verticalHeader()->setMinimumSectionSize(rowHeight);
    gridView_->verticalHeader()->setDefaultSectionSize(rowHeight);
    gridView_->horizontalHeader()->setFixedHeight(rowHeight + 2);
    gridView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Always there, so the grid's height holds exactly its visible rows whatever the columns' widths.
    gridView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const int cellMargins =
        2 * (gridView_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, gridView_) + 1);
    for (int column = 0; column < OrderGridModel::ColumnCount; ++column) {
        const QString figure = QString::fromLatin1(kWidestFigures[column]);
        const int needed =
            figure.isEmpty() ? 0 : gridView_->fontMetrics().horizontalAdvance(figure) + cellMargins + 2;
        gridView_->setColumnWidth(column, std::max(kDesignedWidths[column], needed));
    }
    // Names and remarks give way so the columns up to 后厨打印 stand whole; 序号 and 排序 lie beyond.
    GiveWayToColumns(gridView_, OrderGridModel::Kitchen, {OrderGridModel::Name, OrderGridModel::Remark});
    FrameControl(gridView_);
    connect(gridView_, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (!readOnly_)
            model_->clickCell(index);
    });

    auto* centre = new QHBoxLayout;
    centre->addWidget(buildMenuPanel());
    centre->addWidget(new WholeRowsHolder(gridView_, kVisibleRows, kFewestRows, this), 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 8);
    layout->addWidget(tableNameLabel_);
    layout->addLayout(header);
    layout->addLayout(centre);
    layout->addWidget(buildFooter());
    chainTabOrder();

    auto* quantityKey = new QAction(QStringLiteral("改数量"), this);
    quantityKey->setShortcut(QKeySequence(Qt::Key_F2));
    connect(quantityKey, &QAction::triggered, this, &OrderWindow::editQuantity);
    addAction(quantityKey);
    // After a quantity typed by key the next dish is searched for at once.
    connect(gridView_->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
        if (std::exchange(quantityByKey_, false))
            searchBox_->setFocus();
    });
}

QWidget* OrderWindow::buildMenuPanel() {
    auto* panel = new QWidget(this);
    panel->setFixedWidth(Px(3300));
    auto* buttons = new QHBoxLayout;
    for (int i = 0; i < kCategories.size(); ++i) {
        auto* button = new QPushButton(kCategories.at(i), panel);
        button->setObjectName(QStringLiteral("categoryButton%1").arg(i));
        button->setFlat(true);
        button->setStyleSheet(
            QStringLiteral("QPushButton { border: 1px solid rgb(192,192,192); padding: 4px; }"));
        connect(button, &QPushButton::clicked, this, [this, i] { chooseCategory(i); });
        buttons->addWidget(button);
        categoryButtons_.append(button);
    }
    searchBox_ = box(panel, QStringLiteral("searchBox"));
    searchBox_->setPlaceholderText(QStringLiteral("输入拼音或中文查询"));
    searchBox_->setToolTip(QStringLiteral("Enter 加入列表的第一道菜，↓ 到列表中挑选，F2 改数量"));
    searchBox_->installEventFilter(this);
    connect(searchBox_, &QLineEdit::textChanged, this, [this](const QString& text) {
        try {
            menu_->search(text);
        } catch (const StoreError& error) {
            reportFailure(QStringLiteral("菜单查询失败。"), error.text());
        }
    });
    menuList_ = new QListWidget(panel);
    menuList_->setObjectName(QStringLiteral("menuList"));
    menuList_->setStyleSheet(
        QStringLiteral("QListWidget::item { min-height: %1px; }").arg(fontMetrics().height() + 20));
    menuList_->installEventFilter(this);
    FrameControl(menuList_);
    connect(menuList_, &QListWidget::itemDoubleClicked, this, [this] { addSelectedMenuItem(); });

    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buttons);
    layout->addWidget(new QLabel(QStringLiteral("输入拼音或中文查询"), panel));
    layout->addWidget(searchBox_);
    layout->addWidget(menuList_, 1);
    return panel;
}

QWidget* OrderWindow::buildToolStrip() {
    auto* strip = new QWidget(this);
    auto* layout = new QHBoxLayout(strip);
    layout->setContentsMargins(0, 0, 0, 0);
    struct Tile {
        const char* caption;
        const char* name;
        void (OrderWindow::*action)();
        Qt::Key key;
    };
    // 结账离开 has the main window's key; the others are the F-keys beside it.
    const Tile tiles[] = {{"打印清单", "printBillButton", &OrderWindow::printBill, Qt::Key_F5},
                          {"结账离开", "checkOutButton", &OrderWindow::checkOut, Qt::Key_F3},
                          {"删除", "deleteLineButton", &OrderWindow::deleteSelectedLine, Qt::Key_F8},
                          {"后厨打印", "kitchenTicketButton", &OrderWindow::printKitchenTicket, Qt::Key_F4},
                          {"保存", "saveButton", nullptr, Qt::Key_F12}};
    for (const Tile& tile : tiles) {
        auto* button = new QToolButton(strip);
        button->setText(QString::fromUtf8(tile.caption));
        button->setObjectName(QString::fromLatin1(tile.name));
        button->setFixedSize(Px(1200), Px(600));
        // Pressing a tile turns it grey; it acts when released.
        button->setStyleSheet(
            QStringLiteral("QToolButton { background: palette(button); border: 1px solid "
                           "rgb(192,192,192); } QToolButton:pressed { background: rgb(192,192,192); }"));
        if (tile.action)
            connect(button, &QToolButton::clicked, this, tile.action);
        else
            connect(button, &QToolButton::clicked, this, [this] { saveAndClose(); });
        addKey(button, QKeySequence(tile.key));
        layout->addWidget(button);
        toolButtons_.append(button);
    }
    return strip;
}

// The key presses the button itself, so a disabled button (a read-only window) ignores it as well.
void OrderWindow::addKey(QAbstractButton* button, const QKeySequence& key) {
    button->setToolTip(CaptionWithKey(button->text(), key));
    auto* action = new QAction(button->text(), this);
    action->setShortcut(key);
    connect(action, &QAction::triggered, button, &QAbstractButton::click);
    addAction(action);
}

void OrderWindow::chainTabOrder() {
    QList<QWidget*> chain{searchBox_,  menuList_,     gridView_,     customerNameEdit_, phoneEdit_,
                          remarkEdit_, discountEdit_, receivedEdit_, creditEdit_,       guestsEdit_};
    for (QAbstractButton* button : toolButtons_)
        chain.append(button);
    for (QPushButton* button : categoryButtons_)
        chain.append(button);
    for (QWidget* control : chain)
        control->setFocusPolicy(Qt::StrongFocus);
    // Tab leaves the grid for the next control; the arrow keys move between its cells.
    gridView_->setTabKeyNavigation(false);
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain.at(i - 1), chain.at(i));
}

void OrderWindow::editQuantity() {
    if (readOnly_)
        return;
    int row = bill_->selectedLine();
    for (int i = 0; row < 0 && i < bill_->lines().size(); ++i)
        if (bill_->lines().at(i).lineId == lastAddedLineId_)
            row = i;
    if (row < 0)
        return;
    const QModelIndex quantity = model_->index(row, OrderGridModel::Quantity);
    gridView_->setFocus();
    gridView_->setCurrentIndex(quantity);
    gridView_->scrollTo(quantity);
    quantityByKey_ = true;
    gridView_->edit(quantity);
    // The typed number replaces the old one.
    if (auto* editor = qobject_cast<QLineEdit*>(gridView_->indexWidget(quantity)))
        editor->selectAll();
}

QWidget* OrderWindow::buildFooter() {
    auto* footer = new QWidget(this);
    auto* grid = new QGridLayout(footer);
    grid->setContentsMargins(0, 4, 0, 0);
    customerNameEdit_ = box(footer, QStringLiteral("customerNameEdit"));
    phoneEdit_ = box(footer, QStringLiteral("phoneEdit"));
    remarkEdit_ = box(footer, QStringLiteral("remarkEdit"));
    dishesLabel_ = valueLabel(footer, QStringLiteral("dishesLabel"));
    drinksLabel_ = valueLabel(footer, QStringLiteral("drinksLabel"));
    othersLabel_ = valueLabel(footer, QStringLiteral("othersLabel"));
    receivableLabel_ = valueLabel(footer, QStringLiteral("receivableLabel"));
    discountEdit_ = box(footer, QStringLiteral("discountEdit"));
    receivedEdit_ = box(footer, QStringLiteral("receivedEdit"));
    creditEdit_ = box(footer, QStringLiteral("creditEdit"));
    guestsEdit_ = guestsBox(footer);
    receivedEdit_->installEventFilter(this);
    creditEdit_->installEventFilter(this);

    grid->addWidget(new QLabel(QStringLiteral("联系人："), footer), 0, 0);
    grid->addWidget(customerNameEdit_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("电话："), footer), 0, 2);
    grid->addWidget(phoneEdit_, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("备注："), footer), 0, 4);
    grid->addWidget(remarkEdit_, 0, 5, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("菜品："), footer), 1, 0);
    grid->addWidget(dishesLabel_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("酒水："), footer), 1, 2);
    grid->addWidget(drinksLabel_, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("其他："), footer), 1, 4);
    grid->addWidget(othersLabel_, 1, 5);
    grid->addWidget(new QLabel(QStringLiteral("应收："), footer), 1, 6);
    grid->addWidget(receivableLabel_, 1, 7);
    grid->addWidget(new QLabel(QStringLiteral("折扣："), footer), 2, 0);
    grid->addWidget(discountEdit_, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("实收："), footer), 2, 2);
    grid->addWidget(receivedEdit_, 2, 3);
    grid->addWidget(new QLabel(QStringLiteral("挂账："), footer), 2, 4);
    grid->addWidget(creditEdit_, 2, 5);
    grid->addWidget(new QLabel(QStringLiteral("人数："), footer), 2, 6);
    paymentsLabel_ = new QLabel(footer);
    paymentsLabel_->setObjectName(QStringLiteral("paymentsLabel"));
    paymentsLabel_->setWordWrap(true);
    // A paid bill's payments follow the guests box in what is left of the row.
    auto* guestsAndPayments = new QHBoxLayout;
    guestsAndPayments->addWidget(guestsEdit_);
    guestsAndPayments->addWidget(paymentsLabel_, 1);
    grid->addLayout(guestsAndPayments, 2, 7);
    for (int column : {1, 3, 5})
        grid->setColumnStretch(column, 1);

    connect(discountEdit_, &QLineEdit::textChanged, this,
            [this](const QString& text) { bill_->applyDiscount(text); });
    connect(customerNameEdit_, &QLineEdit::textEdited, bill_, &BillDocument::setCustomerName);
    connect(phoneEdit_, &QLineEdit::textEdited, bill_, &BillDocument::setPhone);
    connect(remarkEdit_, &QLineEdit::textEdited, bill_, &BillDocument::setBillRemark);
    connect(receivedEdit_, &QLineEdit::textEdited, bill_, &BillDocument::setReceived);
    connect(creditEdit_, &QLineEdit::textEdited, bill_, &BillDocument::setCredit);
    connect(guestsEdit_, &QLineEdit::textEdited, bill_, &BillDocument::setGuests);
    for (QLineEdit* edit :
         {customerNameEdit_, phoneEdit_, remarkEdit_, receivedEdit_, creditEdit_, guestsEdit_})
        connect(edit, &QLineEdit::editingFinished, this, &OrderWindow::storeHeaderFields);
    return footer;
}

void OrderWindow::showOpenedBill() {
    const BillHeader& header = bill_->header();
    tableNameLabel_->showText(header.tableName);
    statusLabel_->hide();
    showFields();
    // A reopened bill paid at a discount shows its rate; any other bill starts without one.
    discountEdit_->blockSignals(true);
    discountEdit_->setText(bill_->discount());
    discountEdit_->blockSignals(false);
    chooseCategory(0);
    showTotals();
    showStoredPayments();
    searchBox_->setFocus();
}

void OrderWindow::showStoredPayments() {
    QStringList texts;
    if (bill_->isClosedBill()) {
        try {
            for (const StoredPayment& row : bill_->standingPayments()) {
                QString text = row.payment.method + QLatin1Char(' ') + FenText(row.payment.tendered);
                if (row.payment.change != 0)
                    text += QStringLiteral("（找零 %1）").arg(FenText(row.payment.change));
                texts.append(text);
            }
        } catch (const StoreError& error) {
            Log::write(QStringLiteral("收款读取失败：") + error.text());
        }
    }
    paymentsLabel_->setText(texts.isEmpty() ? QString()
                                            : QStringLiteral("已收：") + texts.join(QStringLiteral("，")));
    paymentsLabel_->setVisible(!texts.isEmpty());
}

void OrderWindow::showFields() {
    const BillHeader& header = bill_->header();
    openedAtLabel_->setText(header.openedText);
    // The document keeps what was typed here until it is stored, so a box being typed in keeps its text.
    const std::pair<QLineEdit*, QString> fields[] = {{customerNameEdit_, header.customerName},
                                                     {phoneEdit_, header.phone},
                                                     {remarkEdit_, header.remark},
                                                     {guestsEdit_, header.guests}};
    for (const auto& [edit, text] : fields)
        if (edit->text() != text)
            edit->setText(text);
}

void OrderWindow::showGone(const QString& reason) {
    setReadOnly(true);
    statusLabel_->setText(reason);
    statusLabel_->show();
}

void OrderWindow::followStoredBill() {
    if (closing_)
        return;
    try {
        bill_->followStored();
    } catch (const StoreError& error) {
        // The next notice or look tries again; the window keeps showing what it showed.
        Log::write(QStringLiteral("点餐窗口没有读到最新的账单：") + error.text());
    }
}

void OrderWindow::refreshPreview() {
    if (!preview_ || previewUpdateQueued_)
        return;
    // One redraw for the several signals of one change.
    previewUpdateQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        previewUpdateQueued_ = false;
        if (!preview_)
            return;
        const BillHeader& header = bill_->header();
        try {
            preview_->showBill(MakeBillData(settings_, header.tableName, bill_->lines(), header.receivable,
                                            header.received));
        } catch (const StoreError& error) {
            Log::write(QStringLiteral("打印预览没有更新：") + error.text());
        }
    });
}

void OrderWindow::chooseCategory(int index) {
    for (int i = 0; i < categoryButtons_.size(); ++i) {
        QFont font = categoryButtons_.at(i)->font();
        font.setBold(i == index);
        categoryButtons_.at(i)->setFont(font);
    }
    searchBox_->blockSignals(true);
    searchBox_->clear();
    searchBox_->blockSignals(false);
    try {
        menu_->chooseCategory(kCategories.value(index));
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("菜单读取失败。"), error.text());
    }
}

void OrderWindow::showMenu() {
    menuList_->clear();
    for (const MenuRecord& record : menu_->records())
        menuList_->addItem(record.displayText());
}

void OrderWindow::showTotals() {
    const BillHeader& header = bill_->header();
    dishesLabel_->setText(header.dishes);
    drinksLabel_->setText(header.drinks);
    othersLabel_->setText(header.others);
    receivableLabel_->setText(header.receivable);
    if (receivedEdit_->text() != header.received)
        receivedEdit_->setText(header.received);
    if (creditEdit_->text() != header.credit)
        creditEdit_->setText(header.credit);
}

void OrderWindow::addSelectedMenuItem() {
    const int row = menuList_->currentRow();
    if (row < 0 || row >= menu_->records().size() || !menuList_->currentItem() ||
        !menuList_->currentItem()->isSelected())
        return;
    try {
        const int line = bill_->addItem(menu_->records().at(row), QDateTime::currentDateTime());
        lastAddedLineId_ = bill_->lines().at(line).lineId;
        gridView_->scrollTo(model_->index(line, 0));
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("菜品没有加入点单。"), error.text());
        return;
    }
    searchBox_->clear();
    searchBox_->setFocus();
}

void OrderWindow::deleteSelectedLine() {
    // A dish the kitchen already has is taken back on paper too: asked first, as a cook may have started.
    const int selected = bill_->selectedLine();
    if (selected >= 0 && !bill_->lines().at(selected).kitchenHas.isEmpty()) {
        const std::optional<QString> reason = askTakeBackReason(bill_->lines().at(selected));
        if (!reason)
            return;
        bill_->setTakeBackReason(*reason);
    }
    try {
        bill_->deleteSelected();
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("这一行没有删除。"), error.text());
    }
}

void OrderWindow::setSignedIn(const StaffAccount& staff) {
    signedIn_ = staff;
    bill_->setActor(staff.id);
}

std::optional<QString> OrderWindow::approval(const QString& right) {
    if (!signedIn_)
        return QString();
    return ApproveRight(this, db_, *signedIn_, right);
}

std::optional<QString> OrderWindow::askTakeBackReason(const OrderLine& line) {
    const std::optional<QString> approver = approval(staff_right::kTakeBack);
    if (!approver)
        return std::nullopt;
    bill_->setTakeBackApprover(*approver);
    bool chosen = false;
    const QString reason = QInputDialog::getItem(
        this, QStringLiteral("退菜"),
        QStringLiteral("厨房已经有“%1”，减少或删除会打印退菜单。\n请选择原因：").arg(line.name),
        kTrailReasons, 0, false, &chosen);
    if (!chosen)
        return std::nullopt;
    if (reason != kTrailReasons.last())
        return reason;
    const QString typed = QInputDialog::getText(this, QStringLiteral("退菜"), QStringLiteral("请输入原因："),
                                                QLineEdit::Normal, QString(), &chosen)
                              .trimmed();
    if (!chosen)
        return std::nullopt;
    return typed.isEmpty() ? reason : reason + QStringLiteral("：") + typed;
}

void OrderWindow::storeHeaderFields() {
    if (closing_ || readOnly_)
        return;
    try {
        bill_->storeFields();
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("顾客信息没有保存。"), error.text());
    }
}

void OrderWindow::reportFailure(const QString& what, const QString& why) {
    Log::write(what + why);
    ShowMessage(this, what + QLatin1Char('\n') + why);
    // A step refused because others changed the bill shows the bill as it now stands.
    followStoredBill();
}

void OrderWindow::printBill() {
    // The bill as stored at this moment, phones' lines included.
    followStoredBill();
    const BillHeader& header = bill_->header();
    BillPreviewWindow* preview = OpenBillPreview(this, header.tableName, bill_->lines(), header.receivable,
                                                 header.received, settings_);
    if (!preview)
        return;
    preview->setDatabase(&db_);
    preview_ = preview;
    preview->setBeforePrint([this] {
        followStoredBill();
        previewUpdateQueued_ = false;
        if (preview_) {
            const BillHeader& now = bill_->header();
            preview_->showBill(
                MakeBillData(settings_, now.tableName, bill_->lines(), now.receivable, now.received));
        }
    });
    refreshPreview();
}

void OrderWindow::printKitchenTicket() {
    // Lines a phone changed a moment ago go out as they are stored.
    followStoredBill();
    try {
        if (!HasKitchenPrinters(db_)) {
            PrintKitchenTicketFor(this, bill_->header().tableName, bill_->lines(), settings_);
            return;
        }
        const auto [fresh, sentBefore] = MarkedForKitchen(bill_->lines());
        if (fresh.isEmpty() && sentBefore.isEmpty()) {
            ShowMessage(this, kNoKitchenLinesMessage);
            return;
        }
        // What the kitchen already has goes again only when asked for, on tickets that say 重打, so no dish
        // is cooked twice by surprise.
        const bool again =
            !sentBefore.isEmpty() &&
            AskYesNo(this,
                     QStringLiteral("以下菜品已经送过厨房：\n%1\n\n要再打印一次吗（单子上注明“重打”）？")
                         .arg(LinesText(sentBefore)));
        const QDateTime now = QDateTime::currentDateTime();
        const QString& table = bill_->header().tableName;
        QStringList sent;
        if (!fresh.isEmpty()) {
            const KitchenSend send = SendToKitchen(db_, table, fresh, kSourceCounter, now, bill_->billId());
            for (const PrinterLines& ticket : send.tickets)
                for (const OrderLine& line : ticket.lines)
                    sent.append(line.lineId);
            if (const QString unrouted = UnroutedMessage(send); !unrouted.isEmpty())
                ShowMessage(this, unrouted);
        }
        if (again)
            SendToKitchen(db_, table, sentBefore, kSourceCounter, now, bill_->billId(), true);
        // Lines the kitchen has lose their mark either way: sent again, or left as the kitchen has them.
        for (const OrderLine& line : sentBefore)
            sent.append(line.lineId);
        bill_->sentToKitchen(sent);
        Q_EMIT printJobsWritten();
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("后厨单没有送出。"), error.text());
    }
}

std::optional<QString> OrderWindow::approveAmounts() {
    const BillHeader& header = bill_->header();
    if (header.received.trimmed().isEmpty())
        return QString();
    const double receivable = ReadNumber(header.receivable);
    const double paid = ReadNumber(header.received) + ReadNumber(header.credit);
    if (paid >= receivable)
        return QString();
    const std::optional<QString> approver = approval(staff_right::kDiscount);
    if (!approver || !approver->isEmpty() || !signedIn_)
        return approver;
    QString limit;
    try {
        limit = DiscountLimit(db_);
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("折扣下限读取失败，没有结账。"), error.text());
        return std::nullopt;
    }
    // Paid to the fen at the limit is within it.
    if (ReadNumber(limit) == 0 || paid + 0.005 >= receivable * ReadNumber(limit))
        return approver;
    return ApproveAsOwner(
        this, db_, *signedIn_,
        QStringLiteral("实收 %1 低于收银员折扣下限 %2（应收 %3 的 %4），")
            .arg(NumberText(paid), NumberText(receivable * ReadNumber(limit)), header.receivable, limit));
}

void OrderWindow::checkOut() {
    if (readOnly_ || !approval(staff_right::kCheckout))
        return;
    checkOutApproved();
}

std::optional<PaymentTally> OrderWindow::askPayments() {
    const qint64 due = bill_->amountDue();
    // Nothing to collect (a bill of 0 or less, or given away in full): checked out without a payment, and
    // a paid bill's earlier payments are still reversed.
    if (due <= 0)
        return PaymentTally(0);
    return PaymentDialog::Ask(this, db_, due, StoredFen(bill_->header().credit));
}

void OrderWindow::checkOutApproved() {
    if (readOnly_)
        return;
    const std::optional<QString> amountsApprover = approveAmounts();
    if (!amountsApprover)
        return;
    // What phones stored a moment ago is part of the bill the money is taken for.
    followStoredBill();
    // Each answer acknowledges what was asked about; a phone that keeps ordering meanwhile is asked about
    // again, a few times at most.
    constexpr int kQuestions = 5;
    std::optional<PaymentTally> payments;
    BillDocument::SaveResult result = BillDocument::SaveResult::ChangedElsewhere;
    for (int asked = 0; result == BillDocument::SaveResult::ChangedElsewhere; ++asked) {
        if (bill_->changesElsewhere().any()) {
            const ChangesElsewhere askedAbout = bill_->changesElsewhere();
            if (asked == kQuestions ||
                !AskYesNo(this, bill_->changesElsewhereText() + QStringLiteral("。\n确定结账离开吗？"))) {
                bill_->cancelCheckOut();
                return;
            }
            // What arrived while the question was open has not been answered for.
            if (bill_->changesElsewhere() == askedAbout)
                bill_->acknowledgeChanges();
            else
                continue;
        }
        payments = askPayments();
        if (!payments) {
            bill_->cancelCheckOut();
            return;
        }
        bill_->setAmountsApprover(*amountsApprover);
        bill_->checkOut(*payments);
        try {
            result = bill_->save();
        } catch (const StoreError& error) {
            bill_->cancelCheckOut();
            reportFailure(QStringLiteral("账单没有结账，窗口保持打开。"), error.text());
            return;
        }
    }
    closeAfterStoring();
    // The drawer opens once the bill is stored as left with cash in it, never for a checkout that did not
    // happen.
    if (result == BillDocument::SaveResult::Saved && payments->hasCash())
        openCashDrawers();
}

void OrderWindow::openCashDrawers() {
    try {
        OpenCashDrawers(db_, QDateTime::currentDateTime());
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("钱箱没有打开：") + error.text());
    }
}

void OrderWindow::setReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    // 保存 stays: in a read-only window it only closes.
    for (QAbstractButton* button : findChildren<QAbstractButton*>())
        if (button->objectName() != QLatin1String("saveButton"))
            button->setEnabled(!readOnly);
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->setReadOnly(readOnly);
    menuList_->setEnabled(!readOnly);
    if (readOnly)
        gridView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWindowTitle(readOnly ? QStringLiteral("点餐（只读）") : QStringLiteral("点餐"));
}

bool OrderWindow::saveAndClose() {
    if (readOnly_) {
        closeAfterStoring();
        return true;
    }
    // A paid bill changed here is paid anew: its payments must match what the books now say.
    std::optional<PaymentTally> payments;
    if (bill_->needsSettling()) {
        payments = askPayments();
        if (!payments)
            return false;
        bill_->checkOut(*payments);
    }
    closing_ = true;
    hide();
    QApplication::processEvents();
    try {
        bill_->save();
    } catch (const StoreError& error) {
        bill_->cancelCheckOut();
        closing_ = false;
        show();
        reportFailure(QStringLiteral("账单没有保存，窗口保持打开。"), error.text());
        return false;
    }
    Q_EMIT closedAfterSave();
    if (payments && payments->hasCash())
        openCashDrawers();
    return true;
}

void OrderWindow::closeAfterStoring() {
    closing_ = true;
    hide();
    if (preview_)
        preview_->close();
    Q_EMIT closedAfterSave();
}

void OrderWindow::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    if (saveAndClose())
        event->accept();
    else
        event->ignore();
}

bool OrderWindow::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the search box takes the first dish found: the usual order is typed, Enter, typed, Enter.
    if (watched == searchBox_ && event->type() == QEvent::KeyPress &&
        (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
         static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter)) {
        if (!searchBox_->text().trimmed().isEmpty() && menuList_->count() > 0 && !readOnly_) {
            menuList_->setCurrentRow(0);
            menuList_->item(0)->setSelected(true);
            addSelectedMenuItem();
        }
        return true;
    }
    if (watched == searchBox_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down) {
        menuList_->setFocus();
        if (menuList_->count() > 0) {
            menuList_->setCurrentRow(0);
            menuList_->item(0)->setSelected(true);
        }
        return true;
    }
    if (watched == menuList_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            addSelectedMenuItem();
            return true;
        }
    }
    if (!readOnly_ && (watched == receivedEdit_ || watched == creditEdit_) &&
        event->type() == QEvent::MouseButtonPress) {
        if (watched == receivedEdit_)
            bill_->fillReceived();
        else
            bill_->fillCredit();
        auto* edit = static_cast<QLineEdit*>(watched);
        edit->setText(watched == receivedEdit_ ? bill_->header().received : bill_->header().credit);
        edit->setFocus();
        edit->setCursorPosition(edit->text().size());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
