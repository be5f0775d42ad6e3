#include "order/OrderWindow.h"

#include "order/BillPreviewWindow.h"
#include "order/OrderGridModel.h"
#include "order/OrderSession.h"
#include "order/Printing.h"
#include "settings/SettingsStore.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kGridRowHeight = 22;
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

} // namespace

OrderWindow::OrderWindow(Database& db, TableMap& tables, SettingsStore& settings, QWidget* parent)
    : QWidget(parent, Qt::Window), db_(db), tables_(tables), settings_(settings),
      session_(std::make_unique<OrderSession>(db, tables)) {
    setObjectName(QStringLiteral("Form23"));
    setWindowTitle(QStringLiteral("点餐"));
    model_ = new OrderGridModel(*session_, this);
    buildLayout();
    setFixedWidth(Px(14860));

    connect(model_, &OrderGridModel::writeFailed, this,
            [this](const QString& why) { reportFailure(QStringLiteral("这次修改没有保存。"), why); });
    connect(session_.get(), &OrderSession::totalsChanged, this, &OrderWindow::showTotals);
    connect(session_.get(), &OrderSession::menuChanged, this, &OrderWindow::showMenu);
}

OrderWindow::~OrderWindow() = default;

void OrderWindow::buildLayout() {
    auto* header = new QHBoxLayout;
    tableName_ = new QLabel(this);
    tableName_->setObjectName(QStringLiteral("text1"));
    tableName_->setStyleSheet(QStringLiteral("font-size: 16pt; font-weight: bold; color: rgb(75,151,199);"));
    openedAt_ = new QLabel(this);
    openedAt_->setObjectName(QStringLiteral("Label7"));
    billId_ = new QLabel(this);
    billId_->setObjectName(QStringLiteral("Label6"));
    billId_->hide();
    category_ = new QLabel(this);
    category_->setObjectName(QStringLiteral("Label5"));
    category_->hide();
    header->addWidget(tableName_);
    header->addSpacing(20);
    header->addWidget(new QLabel(QStringLiteral("开台时间："), this));
    header->addWidget(openedAt_);
    header->addStretch();
    header->addWidget(buildToolStrip());

    gridView_ = new QTableView(this);
    gridView_->setObjectName(QStringLiteral("Grid"));
    gridView_->setModel(model_);
    gridView_->setSelectionMode(QAbstractItemView::NoSelection);
    gridView_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::AnyKeyPressed);
    gridView_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    gridView_->verticalHeader()->hide();
    gridView_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    gridView_->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
    gridView_->horizontalHeader()->setFixedHeight(kGridRowHeight + 2);
    gridView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const int widths[] = {12, 150, 50, 45, 55, 60, 120, 45, 30, 40, 60, 110, 45};
    for (int column = 0; column < OrderGridModel::ColumnCount; ++column)
        gridView_->setColumnWidth(column, widths[column]);
    gridView_->setFixedHeight(gridView_->horizontalHeader()->height() + kVisibleRows * kGridRowHeight +
                              2 * gridView_->frameWidth() +
                              gridView_->horizontalScrollBar()->sizeHint().height());
    FrameControl(gridView_);
    connect(gridView_, &QTableView::clicked, model_, &OrderGridModel::clickCell);

    auto* centre = new QHBoxLayout;
    centre->addWidget(buildMenuPanel());
    centre->addWidget(gridView_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 8);
    layout->addLayout(header);
    layout->addLayout(centre);
    layout->addWidget(buildFooter());
}

QWidget* OrderWindow::buildMenuPanel() {
    auto* panel = new QWidget(this);
    panel->setFixedWidth(Px(3300));
    auto* buttons = new QHBoxLayout;
    for (int i = 0; i < kCategories.size(); ++i) {
        auto* button = new QPushButton(kCategories.at(i), panel);
        button->setObjectName(QStringLiteral("Command3_%1").arg(i));
        button->setFlat(true);
        button->setStyleSheet(
            QStringLiteral("QPushButton { border: 1px solid rgb(192,192,192); padding: 4px; }"));
        connect(button, &QPushButton::clicked, this, [this, i] { chooseCategory(i); });
        buttons->addWidget(button);
        categoryButtons_.append(button);
    }
    search_ = box(panel, QStringLiteral("Text2"));
    search_->setPlaceholderText(QStringLiteral("输入拼音或中文查询"));
    search_->installEventFilter(this);
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        try {
            session_->search(text);
        } catch (const StoreError& error) {
            reportFailure(QStringLiteral("菜单查询失败。"), error.text());
        }
    });
    menuList_ = new QListWidget(panel);
    menuList_->setObjectName(QStringLiteral("List1"));
    menuList_->setStyleSheet(
        QStringLiteral("QListWidget::item { min-height: %1px; }").arg(fontMetrics().height() + 20));
    menuList_->installEventFilter(this);
    FrameControl(menuList_);
    connect(menuList_, &QListWidget::itemDoubleClicked, this, [this] { addSelectedMenuItem(); });

    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buttons);
    layout->addWidget(new QLabel(QStringLiteral("输入拼音或中文查询"), panel));
    layout->addWidget(search_);
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
    };
    const Tile tiles[] = {{"打印清单", "Command2", &OrderWindow::printBill},
                          {"结账离开", "Command5", &OrderWindow::checkOut},
                          {"删除", "Command6", &OrderWindow::deleteSelectedLine},
                          {"后厨打印", "Command4", &OrderWindow::printKitchenTicket},
                          {"保存", "Command9", nullptr}};
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
        layout->addWidget(button);
    }
    return strip;
}

QWidget* OrderWindow::buildFooter() {
    auto* footer = new QWidget(this);
    auto* grid = new QGridLayout(footer);
    grid->setContentsMargins(0, 4, 0, 0);
    name_ = box(footer, QStringLiteral("Text4"));
    phone_ = box(footer, QStringLiteral("Text3"));
    remark_ = box(footer, QStringLiteral("Text5"));
    dishes_ = valueLabel(footer, QStringLiteral("Text6"));
    drinks_ = valueLabel(footer, QStringLiteral("Text7"));
    others_ = valueLabel(footer, QStringLiteral("Text8"));
    receivable_ = valueLabel(footer, QStringLiteral("text9"));
    discount_ = box(footer, QStringLiteral("Text11"));
    received_ = box(footer, QStringLiteral("Text10"));
    credit_ = box(footer, QStringLiteral("Text12"));
    received_->installEventFilter(this);
    credit_->installEventFilter(this);

    grid->addWidget(new QLabel(QStringLiteral("联系人："), footer), 0, 0);
    grid->addWidget(name_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("电话："), footer), 0, 2);
    grid->addWidget(phone_, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("备注："), footer), 0, 4);
    grid->addWidget(remark_, 0, 5, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("菜品："), footer), 1, 0);
    grid->addWidget(dishes_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("酒水："), footer), 1, 2);
    grid->addWidget(drinks_, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("其他："), footer), 1, 4);
    grid->addWidget(others_, 1, 5);
    grid->addWidget(new QLabel(QStringLiteral("应收："), footer), 1, 6);
    grid->addWidget(receivable_, 1, 7);
    grid->addWidget(new QLabel(QStringLiteral("折扣："), footer), 2, 0);
    grid->addWidget(discount_, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("实收："), footer), 2, 2);
    grid->addWidget(received_, 2, 3);
    grid->addWidget(new QLabel(QStringLiteral("挂账："), footer), 2, 4);
    grid->addWidget(credit_, 2, 5);
    for (int column : {1, 3, 5})
        grid->setColumnStretch(column, 1);

    connect(discount_, &QLineEdit::textChanged, this,
            [this](const QString& text) { session_->applyDiscount(text); });
    connect(name_, &QLineEdit::textEdited, this, [this](const QString& text) { session_->name = text; });
    connect(phone_, &QLineEdit::textEdited, this, [this](const QString& text) { session_->phone = text; });
    connect(remark_, &QLineEdit::textEdited, this, [this](const QString& text) { session_->remark = text; });
    connect(received_, &QLineEdit::textEdited, this,
            [this](const QString& text) { session_->received = text; });
    connect(credit_, &QLineEdit::textEdited, this, [this](const QString& text) { session_->credit = text; });
    for (QLineEdit* edit : {name_, phone_, remark_, received_, credit_})
        connect(edit, &QLineEdit::editingFinished, this, &OrderWindow::storeHeaderFields);
    return footer;
}

void OrderWindow::open(const OpenedBill& bill) {
    session_->open(bill);
    tableName_->setText(bill.tableName);
    billId_->setText(bill.billId);
    openedAt_->setText(bill.openedText);
    name_->setText(bill.name);
    phone_->setText(bill.phone);
    remark_->setText(bill.remark);
    discount_->blockSignals(true);
    discount_->clear();
    discount_->blockSignals(false);
    chooseCategory(0);
    showTotals();
    search_->setFocus();
}

void OrderWindow::chooseCategory(int index) {
    for (int i = 0; i < categoryButtons_.size(); ++i) {
        QFont font = categoryButtons_.at(i)->font();
        font.setBold(i == index);
        categoryButtons_.at(i)->setFont(font);
    }
    category_->setText(kCategories.value(index));
    search_->blockSignals(true);
    search_->clear();
    search_->blockSignals(false);
    try {
        session_->chooseCategory(kCategories.value(index));
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("菜单读取失败。"), error.text());
    }
}

void OrderWindow::showMenu() {
    menuList_->clear();
    for (const MenuRecord& record : session_->menu())
        menuList_->addItem(record.displayText());
}

void OrderWindow::showTotals() {
    dishes_->setText(session_->dishes);
    drinks_->setText(session_->drinks);
    others_->setText(session_->others);
    receivable_->setText(session_->receivable);
    if (received_->text() != session_->received)
        received_->setText(session_->received);
    if (credit_->text() != session_->credit)
        credit_->setText(session_->credit);
}

void OrderWindow::addSelectedMenuItem() {
    const int row = menuList_->currentRow();
    if (row < 0 || !menuList_->currentItem() || !menuList_->currentItem()->isSelected())
        return;
    try {
        const int line = session_->addItem(row, QDateTime::currentDateTime());
        if (line >= 0)
            gridView_->scrollTo(model_->index(line, 0));
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("菜品没有加入点单。"), error.text());
        return;
    }
    search_->clear();
    search_->setFocus();
}

void OrderWindow::deleteSelectedLine() {
    try {
        session_->deleteSelected();
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("这一行没有删除。"), error.text());
    }
}

void OrderWindow::storeHeaderFields() {
    if (closing_)
        return;
    try {
        session_->save();
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("顾客信息没有保存。"), error.text());
    }
}

void OrderWindow::reportFailure(const QString& what, const QString& why) {
    Log::write(what + why);
    ShowMessage(this, what + QLatin1Char('\n') + why);
}

void OrderWindow::printBill() {
    OpenBillPreview(this, tableName_->text(), session_->lines(), receivable_->text(), received_->text(),
                    settings_);
}

void OrderWindow::printKitchenTicket() {
    PrintKitchenTicketFor(this, tableName_->text(), session_->lines(), settings_);
}

void OrderWindow::checkOut() {
    session_->checkout();
    saveAndClose();
}

bool OrderWindow::saveAndClose() {
    closing_ = true;
    hide();
    QApplication::processEvents();
    try {
        session_->save();
    } catch (const StoreError& error) {
        closing_ = false;
        show();
        reportFailure(QStringLiteral("账单没有保存，窗口保持打开。"), error.text());
        return false;
    }
    Q_EMIT closedAfterSave();
    return true;
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
    if (watched == search_ && event->type() == QEvent::KeyPress &&
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
    if ((watched == received_ || watched == credit_) && event->type() == QEvent::MouseButtonPress) {
        if (watched == received_)
            session_->fillReceived();
        else
            session_->fillCredit();
        auto* edit = static_cast<QLineEdit*>(watched);
        edit->setText(watched == received_ ? session_->received : session_->credit);
        edit->setFocus();
        edit->setCursorPosition(edit->text().size());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
