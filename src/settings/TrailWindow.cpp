#include "settings/TrailWindow.h"

#include "settings/StaffAccounts.h"
#include "stats/ItemSales.h"
#include "stats/XlsWriter.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>

#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace {

// Room in the 员工 box for a 工号 and a name of a few characters.
constexpr int kStaffBoxCharacters = 14;
// The widest a column of names grows.
constexpr int kLongestColumnCharacters = 16;

// The filters show the last seven days, today included, when the window opens.
constexpr int kDefaultDays = 7;
// Twice the 员工 window's list: the trail has nine columns, one of them a sentence.
constexpr int kWindowWidthTwips = 15000;
constexpr int kWindowHeightTwips = 8400;

QString chooseXlsFile(QWidget* parent) {
    return QFileDialog::getSaveFileName(parent, QStringLiteral("另存为"), QString(),
                                        QStringLiteral("Excel文件 (*.xls)"));
}

QDateEdit* dateBox(const QDate& day, const char* name, QWidget* parent) {
    auto* box = new QDateEdit(day, parent);
    box->setObjectName(QString::fromLatin1(name));
    ShowDateWhole(box);
    return box;
}

} // namespace

TrailWindow::TrailWindow(Database& db, QWidget* parent)
    : QDialog(parent), db_(db),
      firstDay_(dateBox(QDate::currentDate().addDays(1 - kDefaultDays), "firstDayEdit", this)),
      lastDay_(dateBox(QDate::currentDate(), "lastDayEdit", this)), staff_(new QComboBox(this)),
      action_(new QComboBox(this)), table_(new QLineEdit(this)), rows_(new TrailListModel(this)),
      counts_(new TrailSummaryModel(this)), list_(buildGrid(rows_, "trailList")),
      summary_(buildGrid(counts_, "trailSummary")), tabs_(new QTabWidget(this)), checkLine_(new QLabel(this)),
      chooseFile_(&chooseXlsFile) {
    setObjectName(QStringLiteral("trailWindow"));
    setWindowTitle(QStringLiteral("操作记录"));
    // 内容 takes what the other columns leave; the rest are as wide as their texts.
    list_->horizontalHeader()->setSectionResizeMode(6, QHeaderView::Stretch);
    // A long name or table name is shown in part (its tooltip holds it whole), so 内容 keeps its room.
    list_->horizontalHeader()->setMaximumSectionSize(
        list_->fontMetrics().horizontalAdvance(QString(kLongestColumnCharacters, QChar(0x6C49))));
    // Always there, so the list's height holds whole rows whatever the columns' widths.
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Seven short columns share the width rather than leave most of it empty.
    summary_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    tabs_->setObjectName(QStringLiteral("trailTabs"));
    tabs_->addTab(list_, QStringLiteral("操作记录"));
    tabs_->addTab(summary_, QStringLiteral("每日汇总"));
    checkLine_->setObjectName(QStringLiteral("trailCheckLine"));

    auto* save = NamedButton(QStringLiteral("导出"), "exportButton", this);
    auto* close = NamedButton(QStringLiteral("关闭"), "closeButton", this);
    connect(save, &QPushButton::clicked, this, &TrailWindow::exportShown);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(checkLine_, 1);
    bottom->addWidget(save);
    bottom->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildFilters());
    layout->addWidget(tabs_, 1);
    layout->addLayout(bottom);

    // In proportion to the screen it opens on, never past it.
    const QSize wanted(Px(kWindowWidthTwips), Px(kWindowHeightTwips));
    const QSize room = screen() ? screen()->availableSize() * 9 / 10 : wanted;
    resize(wanted.boundedTo(room));
    query();
}

void TrailWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (std::exchange(heightFitted_, true))
        return;
    // The list ends with a whole row: the window gives up what a part row would take.
    const int rowHeight = list_->verticalHeader()->defaultSectionSize();
    const int partRow = list_->viewport()->height() % rowHeight;
    if (partRow > 0)
        resize(width(), height() - partRow);
}

QWidget* TrailWindow::buildFilters() {
    auto* filters = new QWidget(this);
    action_->setObjectName(QStringLiteral("actionBox"));
    action_->addItem(QStringLiteral("全部"));
    action_->addItems(kTrailActions);
    staff_->setObjectName(QStringLiteral("staffBox"));
    // A long name would widen the box, and the window, past the screen; the list shows it whole.
    staff_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    staff_->setMinimumContentsLength(kStaffBoxCharacters);
    fillStaffBox();
    table_->setObjectName(QStringLiteral("tableEdit"));
    table_->setMaxLength(50);
    table_->setPlaceholderText(QStringLiteral("全部"));
    FrameControl(table_);
    auto* search = NamedButton(QStringLiteral("查询"), "queryButton", this);
    connect(search, &QPushButton::clicked, this, &TrailWindow::query);
    connect(table_, &QLineEdit::returnPressed, this, &TrailWindow::query);

    auto* row = new QHBoxLayout(filters);
    row->setContentsMargins(0, 0, 0, 0);
    const auto labelled = [&](const QString& caption, QWidget* box) {
        auto* label = new QLabel(caption, filters);
        label->setBuddy(box);
        row->addWidget(label);
        row->addWidget(box);
        row->addSpacing(Px(120));
    };
    labelled(QStringLiteral("从"), firstDay_);
    labelled(QStringLiteral("到"), lastDay_);
    labelled(QStringLiteral("员工"), staff_);
    labelled(QStringLiteral("动作"), action_);
    labelled(QStringLiteral("桌号"), table_);
    row->addWidget(search);
    row->addStretch();
    return filters;
}

QTableView* TrailWindow::buildGrid(QAbstractTableModel* model, const char* name) {
    auto* grid = new QTableView(this);
    grid->setObjectName(QString::fromLatin1(name));
    grid->setModel(model);
    grid->verticalHeader()->hide();
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setWordWrap(false);
    grid->setAlternatingRowColors(true);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return grid;
}

void TrailWindow::fillStaffBox() {
    staff_->addItem(QStringLiteral("全部"));
    try {
        for (const StaffAccount& account : ReadStaffAccounts(db_)) {
            names_.insert(account.id, account.name);
            staff_->addItem(account.id + QLatin1Char(' ') + account.name, account.id);
        }
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("员工读取失败：") + error.text());
        ShowMessage(this, QStringLiteral("员工读取失败。\n") + error.text());
    }
}

TrailFilter TrailWindow::filter() const {
    TrailFilter chosen;
    // Days typed the wrong way round cover the same days as the other order.
    chosen.first = std::min(firstDay_->date(), lastDay_->date());
    chosen.last = std::max(firstDay_->date(), lastDay_->date());
    chosen.staff = staff_->currentData().toString();
    chosen.action = action_->currentIndex() > 0 ? action_->currentText() : QString();
    chosen.table = table_->text().trimmed();
    chosen.newestFirst = true;
    return chosen;
}

void TrailWindow::query() {
    const TrailFilter chosen = filter();
    try {
        ActionTrail trail(db_);
        rows_->setRows(trail.rows(chosen), names_);
        counts_->setRows(SummariseByDay(trail.dailyCounts(chosen.first, chosen.last, kSummedActions)),
                         names_);
        showCheck(trail.verify());
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("操作记录读取失败：") + error.text());
        ShowMessage(this, QStringLiteral("操作记录读取失败。\n") + error.text());
    }
}

void TrailWindow::showCheck(const TrailCheck& check) {
    checkLine_->setText(TrailCheckText(check));
    checkLine_->setStyleSheet(check.whole() ? QString()
                                            : QStringLiteral("color: #c00000; font-weight: bold;"));
    // A changed row is shown where it stands, so the 店长 sees what it now says.
    if (check.problem != TrailCheck::Problem::Changed)
        return;
    const int row = rows_->rowOfSerial(check.serial);
    if (row < 0)
        return;
    tabs_->setCurrentWidget(list_);
    list_->selectRow(row);
    // Scrolling needs the grid's final height, which a window that is only being built has not got yet.
    QTimer::singleShot(0, this, [this, serial = check.serial] {
        if (const int shown = rows_->rowOfSerial(serial); shown >= 0)
            list_->scrollTo(rows_->index(shown, 0), QAbstractItemView::PositionAtCenter);
    });
}

void TrailWindow::exportShown() {
    const bool listShown = tabs_->currentWidget() == list_;
    const QAbstractTableModel& shown = listShown ? static_cast<const QAbstractTableModel&>(*rows_)
                                                 : static_cast<const QAbstractTableModel&>(*counts_);
    if (shown.rowCount() == 0) {
        ShowMessage(this, QStringLiteral("没有可导出的记录。"));
        return;
    }
    const QString chosen = chooseFile_(this).trimmed();
    if (chosen.isEmpty())
        return;
    setCursor(Qt::BusyCursor);
    const QString failure =
        WriteXls(ExportFileName(chosen), SheetOf(shown, tabs_->tabText(tabs_->currentIndex())));
    unsetCursor();
    if (failure.isEmpty())
        ShowMessage(this, QStringLiteral("文件导出成功！"));
    else
        ShowMessage(this, QStringLiteral("文件导出失败：%1").arg(failure));
}
