#include "main/HandoverWindow.h"

#include "print/JobStore.h"
#include "print/PageTransport.h"
#include "print/PrintQueue.h"
#include "settings/StaffAccounts.h"
#include "stats/DayClose.h"
#include "stats/Shifts.h"
#include "store/Database.h"
#include "store/Fen.h"
#include "store/Log.h"
#include "store/Settings.h"
#include "ui/Widgets.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QLineEdit* AmountEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setPlaceholderText(QStringLiteral("0.00"));
    edit->setMaximumWidth(120);
    return edit;
}

} // namespace

HandoverWindow::HandoverWindow(Database& db, SettingsStore& settings, const StaffAccount& who,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), db_(db), settings_(settings), who_(who) {
    setObjectName(QStringLiteral("handoverWindow"));
    setWindowTitle(QStringLiteral("交班"));

    stateLabel_ = new QLabel(this);
    stateLabel_->setObjectName(QStringLiteral("shiftStateLabel"));

    auto* startBox = new QGroupBox(QStringLiteral("开班"), this);
    floatEdit_ = AmountEdit("floatEdit", startBox);
    startButton_ = NamedButton(QStringLiteral("开班"), "startShiftButton", startBox);
    auto* startRow = new QHBoxLayout(startBox);
    startRow->addWidget(new QLabel(QStringLiteral("备用金："), startBox));
    startRow->addWidget(floatEdit_);
    startRow->addWidget(startButton_);
    startRow->addStretch();

    auto* cashBox = new QGroupBox(QStringLiteral("现金出入"), this);
    cashAmountEdit_ = AmountEdit("cashAmountEdit", cashBox);
    cashNoteEdit_ = new QLineEdit(cashBox);
    cashNoteEdit_->setObjectName(QStringLiteral("cashNoteEdit"));
    cashNoteEdit_->setPlaceholderText(QStringLiteral("说明（如：买菜、换零钱）"));
    cashInButton_ = NamedButton(QStringLiteral("存入"), "cashInButton", cashBox);
    cashOutButton_ = NamedButton(QStringLiteral("取出"), "cashOutButton", cashBox);
    auto* cashRow = new QHBoxLayout(cashBox);
    cashRow->addWidget(new QLabel(QStringLiteral("金额："), cashBox));
    cashRow->addWidget(cashAmountEdit_);
    cashRow->addWidget(cashNoteEdit_, 1);
    cashRow->addWidget(cashInButton_);
    cashRow->addWidget(cashOutButton_);

    auto* endBox = new QGroupBox(QStringLiteral("交班"), this);
    countedEdit_ = AmountEdit("countedEdit", endBox);
    endButton_ = NamedButton(QStringLiteral("交班"), "endShiftButton", endBox);
    auto* endRow = new QHBoxLayout(endBox);
    endRow->addWidget(new QLabel(QStringLiteral("实点现金："), endBox));
    endRow->addWidget(countedEdit_);
    endRow->addWidget(endButton_);
    endRow->addStretch();

    auto* dayBox = new QGroupBox(QStringLiteral("日结"), this);
    dayEdit_ = new QDateEdit(dayBox);
    dayEdit_->setObjectName(QStringLiteral("businessDayEdit"));
    ShowDateWhole(dayEdit_);
    closeDayButton_ = NamedButton(QStringLiteral("日结"), "closeDayButton", dayBox);
    showDayButton_ = NamedButton(QStringLiteral("查看日结"), "showDayCloseButton", dayBox);
    auto* dayRow = new QHBoxLayout(dayBox);
    dayRow->addWidget(new QLabel(QStringLiteral("营业日："), dayBox));
    dayRow->addWidget(dayEdit_);
    dayRow->addWidget(closeDayButton_);
    dayRow->addWidget(showDayButton_);
    dayRow->addStretch();
    const bool owner = who_.role == kRoleOwner;
    dayBox->setEnabled(owner);
    if (!owner)
        dayBox->setToolTip(QStringLiteral("只有店长可以日结"));

    reportTitle_ = new QLabel(this);
    reportTitle_->setObjectName(QStringLiteral("reportTitle"));
    reportTable_ = new QTableWidget(0, 2, this);
    reportTable_->setObjectName(QStringLiteral("reportTable"));
    reportTable_->setHorizontalHeaderLabels({QStringLiteral("项目"), QStringLiteral("数额")});
    reportTable_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    reportTable_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    reportTable_->verticalHeader()->hide();
    reportTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    printButton_ = NamedButton(QStringLiteral("打印"), "printReportButton", this);
    printButton_->setToolTip(QStringLiteral("在账单打印机上打印，并打开钱箱"));
    printPageButton_ = NamedButton(QStringLiteral("A4打印"), "printPageButton", this);
    printPageButton_->setToolTip(QStringLiteral("在默认打印机上打印整页报表"));
    auto* closeButton = NamedButton(QStringLiteral("关闭"), "closeButton", this);
    auto* bottomRow = new QHBoxLayout;
    bottomRow->addStretch();
    bottomRow->addWidget(printButton_);
    bottomRow->addWidget(printPageButton_);
    bottomRow->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(stateLabel_);
    layout->addWidget(startBox);
    layout->addWidget(cashBox);
    layout->addWidget(endBox);
    layout->addWidget(dayBox);
    layout->addWidget(reportTitle_);
    layout->addWidget(reportTable_, 1);
    layout->addLayout(bottomRow);

    connect(startButton_, &QPushButton::clicked, this, &HandoverWindow::startShift);
    connect(cashInButton_, &QPushButton::clicked, this, [this] { addCashEntry(true); });
    connect(cashOutButton_, &QPushButton::clicked, this, [this] { addCashEntry(false); });
    connect(endButton_, &QPushButton::clicked, this, &HandoverWindow::endShift);
    connect(closeDayButton_, &QPushButton::clicked, this, &HandoverWindow::closeDay);
    connect(showDayButton_, &QPushButton::clicked, this, &HandoverWindow::showDayClose);
    connect(printButton_, &QPushButton::clicked, this, &HandoverWindow::printReport);
    connect(printPageButton_, &QPushButton::clicked, this, &HandoverWindow::printReportOnPage);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

    resize(620, 720);
    refresh();
    showCurrentBusinessDay();
}

void HandoverWindow::setClock(std::function<QDateTime()> clock) {
    clock_ = std::move(clock);
    showCurrentBusinessDay();
}

void HandoverWindow::showCurrentBusinessDay() {
    try {
        dayEdit_->setDate(BusinessDayOf(clock_(), ReadBusinessDayEnd(db_)));
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("营业日结束时间读取失败：") + error.text());
        dayEdit_->setDate(clock_().date());
    }
}

void HandoverWindow::fail(const QString& what, const QString& why) {
    Log::write(what + why);
    ShowMessage(this, what + QLatin1Char('\n') + why);
}

std::optional<qint64> HandoverWindow::amountIn(QLineEdit* edit) {
    const QString text = edit->text().trimmed();
    const std::optional<qint64> fen = ParseFen(text.isEmpty() ? QStringLiteral("0") : text);
    if (!fen || *fen < 0) {
        ShowMessage(this, QStringLiteral("请输入金额，如 500 或 12.50。"));
        edit->setFocus();
        edit->selectAll();
        return std::nullopt;
    }
    return fen;
}

void HandoverWindow::refresh() {
    try {
        const std::optional<Shift> shift = OpenShiftOf(db_, who_.id);
        openShift_ = shift ? shift->id : 0;
        if (shift) {
            stateLabel_->setText(QStringLiteral("当前班次：第 %1 班，%2 开班，备用金 %3 元")
                                     .arg(shift->id)
                                     .arg(shift->start)
                                     .arg(YuanText(shift->floatFen)));
            showRows(QStringLiteral("本班至今"), ShiftReportRows(ReportShift(db_, shift->id)));
        } else {
            stateLabel_->setText(QStringLiteral("工号 %1 尚未开班。").arg(who_.id));
        }
    } catch (const StoreError& error) {
        openShift_ = 0;
        stateLabel_->setText(QStringLiteral("班次读取失败：") + error.text());
    }
    const bool open = openShift_ > 0;
    floatEdit_->setEnabled(!open);
    startButton_->setEnabled(!open);
    for (QWidget* control : std::initializer_list<QWidget*>{cashAmountEdit_, cashNoteEdit_, cashInButton_,
                                                            cashOutButton_, countedEdit_, endButton_})
        control->setEnabled(open);
}

void HandoverWindow::showRows(const QString& title, const QList<ReportRow>& rows) {
    title_ = title;
    rows_ = rows;
    reportTitle_->setText(title);
    reportTable_->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        auto* label = new QTableWidgetItem(rows.at(i).label);
        auto* value = new QTableWidgetItem(rows.at(i).value);
        value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (rows.at(i).value.isEmpty()) {
            QFont bold = label->font();
            bold.setBold(true);
            label->setFont(bold);
        }
        reportTable_->setItem(i, 0, label);
        reportTable_->setItem(i, 1, value);
    }
    printButton_->setEnabled(!rows.isEmpty());
    printPageButton_->setEnabled(!rows.isEmpty());
}

void HandoverWindow::startShift() {
    const std::optional<qint64> fen = amountIn(floatEdit_);
    if (!fen)
        return;
    try {
        StartShift(db_, who_.id, QSysInfo::machineHostName(), *fen, clock_());
    } catch (const StoreError& error) {
        fail(QStringLiteral("未能开班："), error.text());
    }
    floatEdit_->clear();
    refresh();
}

void HandoverWindow::addCashEntry(bool in) {
    const std::optional<qint64> fen = amountIn(cashAmountEdit_);
    if (!fen)
        return;
    try {
        AddCashEntry(db_, openShift_, in ? *fen : -*fen, cashNoteEdit_->text().trimmed(), who_.id, clock_());
        cashAmountEdit_->clear();
        cashNoteEdit_->clear();
    } catch (const StoreError& error) {
        fail(QStringLiteral("现金出入未保存："), error.text());
    }
    refresh();
}

void HandoverWindow::endShift() {
    if (countedEdit_->text().trimmed().isEmpty()) {
        ShowMessage(this, QStringLiteral("请先清点钱箱，输入实点现金。"));
        countedEdit_->setFocus();
        return;
    }
    const std::optional<qint64> counted = amountIn(countedEdit_);
    if (!counted)
        return;
    try {
        const ShiftReport report = EndShift(db_, openShift_, *counted, clock_());
        countedEdit_->clear();
        refresh();
        showRows(QStringLiteral("交班报表"), ShiftReportRows(report));
    } catch (const StoreError& error) {
        fail(QStringLiteral("未能交班："), error.text());
        refresh();
    }
}

void HandoverWindow::closeDay() {
    const QDate day = dayEdit_->date();
    if (!AskOkCancel(this, QStringLiteral("日结营业日 %1？日结后不能更改，该日的账单只能由店长批准反结账。")
                               .arg(day.toString(QStringLiteral("yyyy-MM-dd")))))
        return;
    try {
        const DayClose close = CloseDay(db_, day, who_.id, clock_());
        showRows(QStringLiteral("日结报表（第 %1 号）").arg(close.number), close.rows);
    } catch (const StoreError& error) {
        fail(QStringLiteral("未能日结："), error.text());
    }
}

void HandoverWindow::showDayClose() {
    const QDate day = dayEdit_->date();
    try {
        const std::optional<DayClose> close = DayCloseOf(db_, day);
        if (!close) {
            ShowMessage(
                this,
                QStringLiteral("营业日 %1 还没有日结。").arg(day.toString(QStringLiteral("yyyy-MM-dd"))));
            return;
        }
        showRows(QStringLiteral("日结报表（第 %1 号）").arg(close->number),
                 DayCloseRows(*close, ReopeningsAfterClose(db_, *close)));
    } catch (const StoreError& error) {
        fail(QStringLiteral("日结读取失败："), error.text());
    }
}

void HandoverWindow::printReport() {
    if (rows_.isEmpty())
        return;
    const QDateTime now = clock_();
    QList<ReportLine> lines;
    for (const ReportRow& row : rows_)
        lines.append({row.label, row.value});
    std::optional<QString> job;
    try {
        job = QueueReport(db_, title_, lines, now);
    } catch (const StoreError& error) {
        fail(QStringLiteral("未能打印："), error.text());
        return;
    }
    // Without a bill printer the report goes on a page of the default printer, as bills did.
    if (!job) {
        if (printOnPage(QStringLiteral("没有账单打印机，默认打印机")))
            ShowMessage(this, QStringLiteral("没有账单打印机，%1已送往默认打印机。").arg(title_));
        return;
    }
    Q_EMIT printJobsWritten();
    // The report is queued whatever the drawer does: a drawer that did not open is said apart.
    QString drawer;
    try {
        OpenCashDrawers(db_, now);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("钱箱没有打开：") + error.text());
        drawer = QStringLiteral("\n钱箱没有打开：") + error.text();
    }
    ShowMessage(this,
                QStringLiteral("%1已送往账单打印机排队打印。打印不成功时主窗口会显示原因。").arg(title_) +
                    drawer);
}

void HandoverWindow::printReportOnPage() {
    if (!rows_.isEmpty() && printOnPage(QStringLiteral("默认打印机")))
        ShowMessage(this, QStringLiteral("%1已送往默认打印机。").arg(title_));
}

bool HandoverWindow::printOnPage(const QString& failure) {
    PrintJob page;
    page.kind = JobKind::Report;
    page.title = title_;
    for (const ReportRow& row : rows_)
        page.rows.append({row.label, row.value});
    page.created = clock_();
    const Delivery delivery = PrintJobOnPages(page, settings_, printerSource_);
    if (delivery.outcome == Delivery::Outcome::Accepted)
        return true;
    // A printer not found names only what is missing; a printer that failed says so in a sentence.
    fail(QStringLiteral("未能打印："), delivery.outcome == Delivery::Outcome::NotSent
                                           ? failure + delivery.trouble + QStringLiteral("，没有打印。")
                                           : delivery.trouble);
    return false;
}
