#include "main/HistoryPanel.h"

#include "bill/BillStore.h"
#include "store/ActionTrail.h"
#include "store/Database.h"
#include "store/Ids.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {
QPushButton* button(const QString& caption, const QString& name, QWidget* parent) {
    auto* push = new QPushButton(caption, parent);
    push->setObjectName(name);
    push->setFlat(true);
    push->setStyleSheet(
        QStringLiteral("QPushButton { border: 1px solid rgb(192,192,192); padding: 3px; "
                       "background: white; } QPushButton:pressed { background: rgb(192,192,192); }"));
    return push;
}
} // namespace

HistoryPanel::HistoryPanel(Database& db, QWidget* parent)
    : QWidget(parent), db_(db), nameSearchBox_(new QLineEdit(this)), startDateEdit_(new QLineEdit(this)),
      endDateEdit_(new QLineEdit(this)), list_(new QListWidget(this)), popupMenu_(new QMenu(this)) {
    setObjectName(QStringLiteral("HistoryPanel"));
    nameSearchBox_->setObjectName(QStringLiteral("nameSearchBox"));
    nameSearchBox_->setPlaceholderText(QStringLiteral("顾客姓名"));
    startDateEdit_->setObjectName(QStringLiteral("startDateEdit"));
    endDateEdit_->setObjectName(QStringLiteral("endDateEdit"));
    list_->setObjectName(QStringLiteral("billList"));
    list_->setStyleSheet(
        QStringLiteral("QListWidget::item { min-height: %1px; }").arg(fontMetrics().height() + 16));
    for (QWidget* control : {static_cast<QWidget*>(nameSearchBox_), static_cast<QWidget*>(startDateEdit_),
                             static_cast<QWidget*>(endDateEdit_), static_cast<QWidget*>(list_)})
        FrameControl(control);

    auto* query = button(QStringLiteral("查    询"), QStringLiteral("queryButton"), this);
    auto* onAccount = button(QStringLiteral("挂帐查询"), QStringLiteral("onAccountButton"), this);
    auto* previous = button(QStringLiteral("<<<"), QStringLiteral("previousDayButton"), this);
    auto* next = button(QStringLiteral(">>>"), QStringLiteral("nextDayButton"), this);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("姓名"), this), 0, 0);
    grid->addWidget(nameSearchBox_, 0, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("日期"), this), 1, 0);
    grid->addWidget(startDateEdit_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("至"), this), 1, 2);
    grid->addWidget(endDateEdit_, 1, 3);
    auto* buttons = new QGridLayout;
    buttons->addWidget(previous, 0, 0);
    buttons->addWidget(query, 0, 1);
    buttons->addWidget(onAccount, 0, 2);
    buttons->addWidget(next, 0, 3);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->addWidget(list_, 1);

    popupMenu_->setObjectName(QStringLiteral("billPopupMenu"));
    popupMenu_->addAction(QStringLiteral("删除"), this, &HistoryPanel::deleteSelected);
    popupMenu_->addSeparator();
    popupMenu_->addAction(QStringLiteral("取消"));

    const QDate today = QDate::currentDate();
    setDates(OneMonthBack(today), today);
    connect(query, &QPushButton::clicked, this, &HistoryPanel::runQuery);
    connect(onAccount, &QPushButton::clicked, this, &HistoryPanel::runOnAccountQuery);
    connect(previous, &QPushButton::clicked, this, [this] { stepDays(-1); });
    connect(next, &QPushButton::clicked, this, [this] { stepDays(1); });
    connect(nameSearchBox_, &QLineEdit::textChanged, this, &HistoryPanel::applySearchTextRule);
    connect(nameSearchBox_, &QLineEdit::returnPressed, this, &HistoryPanel::runQuery);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        const int row = list_->row(item);
        if (row >= 0 && row < entries_.size())
            Q_EMIT reopenRequested(entries_.at(row).billId);
    });
    list_->viewport()->installEventFilter(this);
    connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, this, &HistoryPanel::readMoreNearTheEnd);
    connect(list_->verticalScrollBar(), &QScrollBar::rangeChanged, this, &HistoryPanel::readMoreNearTheEnd);
}

void HistoryPanel::setDates(const QDate& start, const QDate& end) {
    startDateEdit_->setText(DateText(start));
    endDateEdit_->setText(DateText(end));
}

void HistoryPanel::applySearchTextRule(const QString& text) {
    if (steppingDays_)
        return;
    const QDate today = QDate::currentDate();
    setDates(text.trimmed().isEmpty() ? today : today.addYears(-10), today);
}

void HistoryPanel::runQuery() {
    run(HistoryQuery::Kind::Closed);
}

void HistoryPanel::runOnAccountQuery() {
    run(HistoryQuery::Kind::OnAccount);
}

void HistoryPanel::run(HistoryQuery::Kind kind) {
    const std::optional<QDate> start = ParseUserDate(startDateEdit_->text());
    const std::optional<QDate> end = ParseUserDate(endDateEdit_->text());
    if (!start || !end) {
        ShowMessage(this, QStringLiteral("请输入正确日期格式，如“2020-01-15”！"), kProgramTitle);
        return;
    }
    lastKind_ = kind;
    list_->clear();
    entries_.clear();
    pages_.reset();
    try {
        pages_.emplace(db_, HistoryQuery{kind, nameSearchBox_->text(), *start, *end});
    } catch (const StoreError& error) {
        reportFailedQuery(error);
        return;
    }
    // A new query starts at the top, with the newest bill.
    list_->scrollToTop();
    showNextPage();
}

bool HistoryPanel::showNextPage() {
    if (!pages_ || pages_->atEnd())
        return true;
    QList<HistoryEntry> page;
    try {
        page = pages_->next(kPageRows);
    } catch (const StoreError& error) {
        pages_.reset();
        reportFailedQuery(error);
        return false;
    }
    QStringList lines;
    lines.reserve(page.size());
    for (const HistoryEntry& entry : page)
        lines.append(entry.line);
    entries_.append(page);
    list_->addItems(lines);
    return true;
}

// The next page is read while a screen or two of the last one is still below, so scrolling never waits.
void HistoryPanel::readMoreNearTheEnd() {
    const QScrollBar* bar = list_->verticalScrollBar();
    if (pages_ && !pages_->atEnd() && bar->value() >= bar->maximum() - 2 * bar->pageStep())
        showNextPage();
}

void HistoryPanel::reportFailedQuery(const StoreError& error) {
    Log::write(QStringLiteral("历史查询失败：") + error.text());
    ShowMessage(this, QStringLiteral("查询失败。\n") + error.text());
}

void HistoryPanel::stepDays(int days) {
    const std::optional<QDate> end = ParseUserDate(endDateEdit_->text());
    if (!end) {
        ShowMessage(this, QStringLiteral("请输入正确日期格式，如“2020-01-15”！"), kProgramTitle);
        return;
    }
    const QDate day = end->addDays(days);
    setDates(day, day);
    // Emptying the name must not undo the step.
    steppingDays_ = true;
    nameSearchBox_->clear();
    steppingDays_ = false;
    runQuery();
}

void HistoryPanel::showToday() {
    const QDate today = QDate::currentDate();
    setDates(today, today);
    runQuery();
}

void HistoryPanel::deleteSelected() {
    const int row = list_->currentRow();
    if (row < 0 || row >= entries_.size())
        return;
    if (!AskOkCancel(this, QStringLiteral("确实要永久删除该记录吗？")))
        return;
    const QString billId = entries_.at(row).billId;
    if (isOpen_ && isOpen_(billId)) {
        ShowMessage(this, QStringLiteral("该账单正在点餐窗口中打开，请先关闭点餐窗口再删除。"));
        return;
    }
    const std::optional<QString> approver =
        approveDeletion_ ? approveDeletion_() : std::optional<QString>(QString());
    if (!approver)
        return;
    try {
        Transaction step(db_);
        const std::optional<BillHeader> bill = BillStore(db_).header(billId);
        BillStore(db_).deleteBill(billId);
        ActionTrail(db_).append(Action{
            staff_ ? staff_() : QString(), trail_action::kDeleteBill, bill ? bill->tableName : QString(),
            billId, QStringLiteral("%1 → 删除").arg(entries_.at(row).line), QString(), *approver, QString()});
        step.commit();
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("删除账单失败：") + error.text());
        ShowMessage(this, QStringLiteral("账单没有删除。\n") + error.text());
        return;
    }
    entries_.removeAt(row);
    delete list_->takeItem(row);
}

bool HistoryPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton && list_->count() > 0) {
            popupMenu_->popup(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
