#include "stats/ItemSalesWindow.h"

#include "stats/ItemSalesModel.h"
#include "store/Ids.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int kRowPitchTwips = 315;
constexpr int kBusyStartTwips = 30;
constexpr int kBusyEndTwips = 3075;
constexpr int kColumnWidthsTwips[4] = {2655, 1035, 615, 1155};
// The widest figures a month of a busy restaurant gives each column: a quantity of ten characters and a
// twelve-digit amount. Their columns are never narrower, whatever the font.
const QString kWidestFigure[4] = {{}, QStringLiteral("99999999.5"), {}, QStringLiteral("999999999999")};

// A column as designed, or wide enough for its widest figure, the cell's margins and the grid line.
int ColumnWidth(const QTableView* grid, int column) {
    const int margins = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1);
    const int figure = kWidestFigure[column].isEmpty()
                           ? 0
                           : grid->fontMetrics().horizontalAdvance(kWidestFigure[column]) + margins + 2;
    return std::max(Px(kColumnWidthsTwips[column]), figure);
}

QString chooseXlsFile(QWidget* parent) {
    return QFileDialog::getSaveFileName(parent, QStringLiteral("另存为"), QString(),
                                        QStringLiteral("Excel文件 (*.xls)"));
}

} // namespace

ItemSalesWindow::ItemSalesWindow(Database& db, QWidget* parent)
    : QWidget(parent, Qt::Window), reader_(db), startBox_(new QLineEdit(this)), endBox_(new QLineEdit(this)),
      category_(new QComboBox(this)), model_(new ItemSalesModel(this)), grid_(new QTableView(this)),
      busyPanel_(new QFrame(this)), busyBar_(new QLabel(busyPanel_)), busyTimer_(new QTimer(this)),
      chooseFile_(&chooseXlsFile) {
    setObjectName(QStringLiteral("itemSalesWindow"));
    setWindowTitle(QStringLiteral("明细统计"));

    const auto label = [this](const char* name, const QString& text) {
        auto* widget = new QLabel(text, this);
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };
    startBox_->setObjectName(QStringLiteral("startDateEdit"));
    endBox_->setObjectName(QStringLiteral("endDateEdit"));
    const QDate today = QDate::currentDate();
    startBox_->setText(DateText(OneMonthBack(today)));
    endBox_->setText(DateText(today));
    category_->setObjectName(QStringLiteral("categoryBox"));
    category_->setEditable(true);
    category_->addItems({QStringLiteral("菜品"), QStringLiteral("酒水"), QStringLiteral("其他")});
    category_->setCurrentText(QStringLiteral("酒水"));
    category_->setMinimumWidth(Px(1335));

    auto* dates = new QHBoxLayout;
    dates->addWidget(label("dateRangeLabel", QStringLiteral("日期范围")));
    dates->addWidget(startBox_, 1);
    dates->addWidget(label("toLabel", QStringLiteral("至")));
    dates->addWidget(endBox_, 1);
    auto* categoryRow = new QHBoxLayout;
    categoryRow->addWidget(label("categoryLabel", QStringLiteral("类别")));
    categoryRow->addWidget(category_);
    categoryRow->addStretch();

    grid_->setObjectName(QStringLiteral("salesGrid"));
    grid_->setModel(model_);
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The designed pitch, or taller when the font needs it.
    grid_->verticalHeader()->setDefaultSectionSize(
        std::max(Px(kRowPitchTwips), grid_->fontMetrics().height() + 2));
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grid_->horizontalHeader()->setHighlightSections(false);
    for (int column = 0; column < 4; ++column)
        grid_->setColumnWidth(column, ColumnWidth(grid_, column));
    grid_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid_->verticalScrollBar()->setObjectName(QStringLiteral("gridScrollBar"));
    grid_->setSelectionMode(QAbstractItemView::NoSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setFocusPolicy(Qt::NoFocus);
    grid_->setStyleSheet(QStringLiteral("QTableView { gridline-color: rgb(224,224,224); }"));
    grid_->verticalScrollBar()->setEnabled(false);

    busyPanel_->setObjectName(QStringLiteral("busyPanel"));
    busyPanel_->setFixedSize(Px(3135), Px(255));
    busyBar_->setObjectName(QStringLiteral("busyBar"));
    busyBar_->setStyleSheet(QStringLiteral("background: rgb(75,151,199);"));
    busyBar_->setGeometry(0, 0, Px(kBusyStartTwips), Px(255));
    busyPanel_->hide();
    busyTimer_->setObjectName(QStringLiteral("busyTimer"));
    busyTimer_->setInterval(100);
    connect(busyTimer_, &QTimer::timeout, this, &ItemSalesWindow::advanceBusyBar);

    auto* count = new QPushButton(QStringLiteral("统   计"), this);
    count->setObjectName(QStringLiteral("computeButton"));
    auto* save = new QPushButton(QStringLiteral("导出"), this);
    save->setObjectName(QStringLiteral("exportButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(busyPanel_);
    buttons->addStretch();
    for (QPushButton* button : {count, save}) {
        button->setFixedSize(Px(1134), Px(374));
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Px(120), Px(120), Px(120), Px(120));
    layout->addLayout(dates);
    layout->addLayout(categoryRow);
    layout->addWidget(grid_);
    layout->addStretch();
    layout->addLayout(buttons);

    FrameControl(startBox_);
    FrameControl(endBox_);
    FrameControl(grid_);
    FrameControl(busyPanel_);
    FrameControl(category_);
    fitGrid();

    connect(count, &QPushButton::clicked, this, &ItemSalesWindow::compute);
    connect(save, &QPushButton::clicked, this, &ItemSalesWindow::exportResult);
}

void ItemSalesWindow::fitGrid() {
    // Measured with the border and fonts the grid is drawn with.
    grid_->ensurePolished();
    grid_->horizontalHeader()->ensurePolished();
    // Exactly 16 whole rows below the header: the scroll range is then the number of rows beyond them.
    const int rows = kVisibleRows * grid_->verticalHeader()->defaultSectionSize();
    grid_->setFixedHeight(grid_->horizontalHeader()->sizeHint().height() + rows + 2 * grid_->frameWidth());
    int columns = 0;
    for (int column = 0; column < 4; ++column)
        columns += grid_->columnWidth(column);
    grid_->setFixedWidth(columns + grid_->verticalScrollBar()->sizeHint().width() + 2 * grid_->frameWidth());
    // The designed size, or larger when the grid and the rows around it need more.
    setFixedSize(sizeHint().expandedTo(QSize(Px(5955), Px(6885))));
}

QScrollBar* ItemSalesWindow::scrollBar() const {
    return grid_->verticalScrollBar();
}

void ItemSalesWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!centred_) {
        centred_ = true;
        CenterOnScreen(this);
    }
}

void ItemSalesWindow::compute() {
    const std::optional<DateRange> range = ReadDateRange(startBox_->text(), endBox_->text());
    if (!range) {
        ShowMessage(this, kDateFormatMessage, kProgramTitle);
        return;
    }
    if (!SpanAllowed(*range)) {
        ShowMessage(this, kSpanMessage);
        return;
    }
    const QString category = category_->currentText();
    const bool started = reader_.start<std::vector<ItemSalesRow>>(
        this, [range = *range, category](Database& db) { return ComputeItemSales(db, category, range); },
        [this](std::vector<ItemSalesRow> rows) {
            setBusy(false);
            showResult(std::move(rows));
            Q_EMIT computed();
        },
        [this](const QString& message) {
            setBusy(false);
            ShowMessage(this, QStringLiteral("统计失败：%1").arg(message));
            Q_EMIT computed();
        });
    if (!started)
        return;
    // The grid empties while the new result is computed, as it always has.
    showResult({});
    setBusy(true);
}

void ItemSalesWindow::showResult(std::vector<ItemSalesRow> rows) {
    result_ = std::move(rows);
    model_->setRows(DisplayRows(result_));
    grid_->doItemsLayout(); // the scroll range now, not at the next layout pass
    QScrollBar* bar = grid_->verticalScrollBar();
    bar->setEnabled(model_->resultRows() > kVisibleRows);
    bar->setValue(0);
}

void ItemSalesWindow::setBusy(bool busy) {
    busyBar_->resize(Px(kBusyStartTwips), busyBar_->height());
    busyPanel_->setVisible(busy);
    if (busy) {
        busyTimer_->start();
        setCursor(Qt::BusyCursor);
    } else {
        busyTimer_->stop();
        unsetCursor();
    }
}

void ItemSalesWindow::advanceBusyBar() {
    const int width = busyBar_->width() + Px(100);
    busyBar_->resize(width > Px(kBusyEndTwips) ? Px(kBusyStartTwips) : width, busyBar_->height());
}

void ItemSalesWindow::exportResult() {
    // Said before the file name is asked for, so no name is typed for a file that would not be written.
    if (result_.empty()) {
        ShowMessage(this, busy() ? QStringLiteral("正在统计，请稍候再导出。")
                                 : QStringLiteral("请先统计，再导出。"));
        return;
    }
    const QString chosen = chooseFile_(this).trimmed();
    if (chosen.isEmpty())
        return;
    setCursor(Qt::BusyCursor);
    const QString failure = ExportItemSales(ExportFileName(chosen), result_);
    unsetCursor();
    if (failure.isEmpty())
        ShowMessage(this, QStringLiteral("文件导出成功！"));
    else
        ShowMessage(this, QStringLiteral("文件导出失败：%1").arg(failure));
}
