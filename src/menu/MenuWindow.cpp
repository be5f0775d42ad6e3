#include "menu/MenuWindow.h"

#include "menu/DishDialog.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QAbstractTableModel>
#include <QButtonGroup>
#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

namespace {

const QStringList kCategories{QStringLiteral("菜品"), QStringLiteral("酒水"), QStringLiteral("其他")};
const QString kCategoryOptionNames[] = {QStringLiteral("dishesOption"), QStringLiteral("drinksOption"),
                                        QStringLiteral("otherOption")};
const QStringList kHeaders{QStringLiteral("名称"), QStringLiteral("数量"),   QStringLiteral("单位"),
                           QStringLiteral("单价"), QStringLiteral("拼音"),   QStringLiteral("备注"),
                           QStringLiteral("分类"), QStringLiteral("打印机"), QStringLiteral("估清")};
const int kColumnWidths[] = {Px(3000), Px(900), Px(900),  Px(1050), Px(1500),
                             Px(3000), Px(900), Px(1800), Px(900)};
constexpr int kSoldOutColumn = 8;
constexpr int kPrintersColumn = 7;
constexpr int kRowHeight = 22;
constexpr int kHeaderHeight = 24;
// What the grid keeps on a screen too short for its 22 rows.
constexpr int kFewestScreenRows = 6;

const QColor kEvenRow(249, 248, 245);
const QColor kOddRow(255, 255, 255);
const QColor kSelectedRow(0, 255, 255);

} // namespace

// The visible area of the grid. A class of its own, so its silver frame does not pass on to the
// table and header inside, which are frames too.
class GridArea : public QFrame {
    Q_OBJECT
public:
    GridArea(const QTableView* grid, QWidget* parent) : QFrame(parent), grid_(grid) {}

    // As tall as the grid's 22 designed rows: the window opens at that size where the screen has room.
    QSize sizeHint() const override {
        const QMargins margins = layout()->contentsMargins();
        return {QFrame::sizeHint().width(),
                grid_->maximumHeight() + margins.top() + margins.bottom() + 2 * frameWidth()};
    }

private:
    const QTableView* grid_;
};

// The screen rows of the grid over the menu list: row r shows result entry r + scroll value.
class ScreenRowsModel : public QAbstractTableModel {
public:
    ScreenRowsModel(const MenuList& list, QObject* parent) : QAbstractTableModel(parent), list_(list) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : list_.screenRows();
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(kHeaders.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::BackgroundRole) {
            if (list_.selectedRow() == index.row())
                return kSelectedRow;
            return index.row() % 2 == 0 ? kEvenRow : kOddRow;
        }
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return {};
        const MenuItem* item = list_.entryAt(index.row());
        if (!item)
            return {};
        // Names, remarks and printers may be longer than their columns: the tooltip holds the whole text.
        const bool mayBeLong =
            index.column() == 0 || index.column() == 5 || index.column() == kPrintersColumn;
        if (role == Qt::ToolTipRole && !mayBeLong)
            return {};
        switch (index.column()) {
        case 0:
            return item->name;
        case 1:
            return item->quantity;
        case 2:
            return item->unit;
        case 3:
            return item->price;
        case 4:
            return item->initials;
        case 5:
            return item->remark;
        case 6:
            return item->category;
        case kSoldOutColumn:
            return list_.isSoldOut(item->key) ? QStringLiteral("已估清") : QString();
        default:
            // Empty for a dish that goes by its category, so the few that go elsewhere stand out.
            return item->printers.join(QStringLiteral("、"));
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return kHeaders.value(section);
        return {};
    }

    void showAll() { Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1)); }
    // Called around a change of the list's screen rows.
    void beginRowsChange() { beginResetModel(); }
    void endRowsChange() { endResetModel(); }

private:
    const MenuList& list_;
};

MenuWindow::MenuWindow(Database& db, QWidget* parent)
    : QWidget(parent, Qt::Window), catalogue_(db), list_(catalogue_) {
    setObjectName(QStringLiteral("menuWindow"));
    setWindowTitle(QStringLiteral("酒菜设置"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFont(QFont(QStringLiteral("Noto Serif CJK SC"), 9));

    // Category options and the search line.
    auto* options = new QButtonGroup(this);
    auto* top = new QHBoxLayout;
    for (int i = 0; i < kCategories.size(); ++i) {
        auto* option = new QRadioButton(kCategories.at(i), this);
        option->setObjectName(kCategoryOptionNames[i]);
        options->addButton(option, i);
        categoryOptions_.append(option);
        top->addWidget(option);
        connect(option, &QRadioButton::clicked, this, [this, i] { chooseCategory(kCategories.at(i)); });
    }
    categoryOptions_.first()->setChecked(true);
    categoryLabel_ = new QLabel(list_.category(), this);
    categoryLabel_->setObjectName(QStringLiteral("categoryLabel"));
    categoryLabel_->setStyleSheet(QStringLiteral("color: rgb(192,0,0); font-weight: bold;"));
    keyLabel_ = new QLabel(this);
    keyLabel_->setObjectName(QStringLiteral("selectedKeyLabel"));
    keyLabel_->hide();
    top->addSpacing(12);
    top->addWidget(categoryLabel_);
    top->addStretch();
    top->addWidget(new QLabel(QStringLiteral("输入拼音或中文查询"), this));
    searchBox_ = new QLineEdit(this);
    searchBox_->setObjectName(QStringLiteral("searchBox"));
    searchBox_->setFixedWidth(Px(2400));
    FrameControl(searchBox_);
    top->addWidget(searchBox_);
    auto* find = new QPushButton(QStringLiteral("查  询"), this);
    find->setObjectName(QStringLiteral("searchButton"));
    top->addWidget(find);

    // Buttons under the grid.
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    const std::pair<const char*, const char*> commands[] = {{"addButton", "新  增"},
                                                            {"modifyButton", "修  改"},
                                                            {"deleteButton", "删  除"},
                                                            {"clearButton", "清  空"},
                                                            {"soldOutButton", "估  清"}};
    QList<QPushButton*> commandButtons;
    for (const auto& [name, caption] : commands) {
        auto* button = new QPushButton(QString::fromUtf8(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        button->setAutoDefault(false);
        buttons->addWidget(button);
        commandButtons.append(button);
    }
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addLayout(top);
    layout->addWidget(buildGrid());
    layout->addLayout(buttons);

    dishDialog_ = new DishDialog(catalogue_, this);

    connect(searchBox_, &QLineEdit::textChanged, this, [this](const QString& text) {
        attempt(QStringLiteral("查询"), [&] { list_.setSearchText(text); });
        showState();
    });
    connect(find, &QPushButton::clicked, this, &MenuWindow::refresh);
    connect(commandButtons.at(0), &QPushButton::clicked, this, &MenuWindow::addItem);
    connect(commandButtons.at(1), &QPushButton::clicked, this, &MenuWindow::modifyItem);
    connect(commandButtons.at(2), &QPushButton::clicked, this, &MenuWindow::deleteItem);
    connect(commandButtons.at(3), &QPushButton::clicked, this, &MenuWindow::clearCategory);
    soldOutButton_ = commandButtons.at(4);
    soldOutButton_->setToolTip(
        QStringLiteral("选中的菜今天卖完了：手机上显示“已售完”，不能再点。再点一次取消。"));
    connect(soldOutButton_, &QPushButton::clicked, this, &MenuWindow::toggleSoldOut);
    connect(dishDialog_, &DishDialog::saved, this, &MenuWindow::refresh);

    refresh();
    // The designed size, which showing the window would cut to two thirds of the screen; it is capped to
    // the screen as it is shown.
    resize(sizeHint());
}

MenuWindow::~MenuWindow() = default;

QWidget* MenuWindow::buildGrid() {
    model_ = new ScreenRowsModel(list_, this);
    grid_ = new QTableView(this);
    grid_->setObjectName(QStringLiteral("menuGrid"));
    grid_->setModel(model_);
    grid_->setSelectionMode(QAbstractItemView::NoSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setFocusPolicy(Qt::NoFocus);
    grid_->setFrameShape(QFrame::NoFrame);
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->horizontalHeader()->setFixedHeight(kHeaderHeight);
    int gridWidth = 0;
    for (int column = 0; column < kHeaders.size(); ++column) {
        grid_->setColumnWidth(column, kColumnWidths[column]);
        gridWidth += kColumnWidths[column];
    }
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid_->horizontalScrollBar()->setObjectName(QStringLiteral("columnScrollBar"));
    // 22 screen rows as designed, with the sideways scroll bar below them; fewer on a short screen.
    const int rowsTop =
        kHeaderHeight + grid_->horizontalScrollBar()->sizeHint().height() + 2 * grid_->frameWidth();
    grid_->setMaximumHeight(rowsTop + MenuList::kScreenRows * kRowHeight);
    grid_->setMinimumHeight(rowsTop + kFewestScreenRows * kRowHeight);
    grid_->setMinimumWidth(gridWidth + 2 * grid_->frameWidth());
    grid_->viewport()->installEventFilter(this);
    connect(grid_, &QTableView::pressed, this, [this](const QModelIndex& index) { selectRow(index.row()); });

    verticalBar_ = new QScrollBar(Qt::Vertical, this);
    verticalBar_->setObjectName(QStringLiteral("rowScrollBar"));
    verticalBar_->setPageStep(MenuList::kScreenRows);
    connect(verticalBar_, &QScrollBar::valueChanged, this, [this](int value) {
        list_.setScrollValue(value);
        model_->showAll();
    });

    auto* area = new GridArea(grid_, this);
    area->setObjectName(QStringLiteral("gridArea"));
    FrameControl(area);
    auto* row = new QHBoxLayout(area);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(0);
    row->addWidget(grid_);
    row->addWidget(verticalBar_);
    return area;
}

bool MenuWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == grid_->viewport() && event->type() == QEvent::Resize) {
        showScreenRows(grid_->viewport()->height() / kRowHeight);
        return false;
    }
    // The wheel over the grid moves the list by the scroll bar, one screen row per step.
    if (watched == grid_->viewport() && event->type() == QEvent::Wheel) {
        const int steps = static_cast<QWheelEvent*>(event)->angleDelta().y() / 120;
        if (verticalBar_->isEnabled() && steps != 0)
            verticalBar_->setValue(verticalBar_->value() - steps * 3);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MenuWindow::showScreenRows(int rows) {
    const int shown = std::clamp(rows, 1, int(MenuList::kScreenRows));
    if (shown == list_.screenRows())
        return;
    model_->beginRowsChange();
    list_.setScreenRows(shown);
    model_->endRowsChange();
    verticalBar_->setPageStep(shown);
    showState();
}

void MenuWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!centred_) {
        centred_ = true;
        CenterOnScreen(this);
    }
}

void MenuWindow::refresh() {
    attempt(QStringLiteral("查询"), [this] { list_.refresh(); });
    showState();
}

void MenuWindow::selectRow(int screenRow) {
    list_.select(screenRow);
    showState();
}

void MenuWindow::chooseCategory(const QString& category) {
    const int index = kCategories.indexOf(category);
    if (index >= 0)
        categoryOptions_.at(index)->setChecked(true);
    attempt(QStringLiteral("查询"), [&] { list_.setCategory(category); });
    showState();
}

void MenuWindow::addItem() {
    QString key;
    if (!attempt(QStringLiteral("新增"), [&] { key = list_.add(QDateTime::currentDateTime()); }))
        return;
    showState();
    dishDialog_->openNew(key, list_.category());
}

void MenuWindow::modifyItem() {
    if (const MenuItem* item = list_.selectedItem())
        dishDialog_->openFor(*item, list_.category());
}

void MenuWindow::deleteItem() {
    attempt(QStringLiteral("删除"), [this] { list_.removeSelected(); });
    showState();
}

void MenuWindow::toggleSoldOut() {
    attempt(QStringLiteral("估清"), [this] { list_.toggleSoldOutSelected(); });
    showState();
}

void MenuWindow::clearCategory() {
    if (!AskYesNo(this, QStringLiteral("数据清空后将不能恢复，是否确认清空！")))
        return;
    attempt(QStringLiteral("清空"), [this] { list_.clearCategory(); });
    showState();
}

void MenuWindow::showState() {
    categoryLabel_->setText(list_.category());
    keyLabel_->setText(list_.selectedKey());
    {
        const QSignalBlocker blocker(verticalBar_);
        verticalBar_->setEnabled(list_.scrollEnabled());
        verticalBar_->setRange(0, list_.scrollMaximum());
        verticalBar_->setValue(list_.scrollValue());
    }
    const MenuItem* selected = list_.selectedItem();
    soldOutButton_->setEnabled(selected != nullptr);
    soldOutButton_->setText(selected && list_.isSoldOut(selected->key) ? QStringLiteral("取消估清")
                                                                       : QStringLiteral("估  清"));
    model_->showAll();
}

bool MenuWindow::attempt(const QString& what, const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("酒菜设置%1失败：%2").arg(what, error.text()));
        ShowMessage(this, QStringLiteral("%1失败：%2").arg(what, error.text()));
        return false;
    }
}

#include "MenuWindow.moc"
