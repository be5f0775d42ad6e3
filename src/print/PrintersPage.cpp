#include "print/PrintersPage.h"

#include "print/EscPos.h"
#include "print/JobStore.h"
#include "print/PrintQueue.h"
#include "print/PrinterStore.h"
#include "print/TicketEncoder.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/WholeRowsHolder.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QCheckBox* makeCheck(const QString& caption, const char* name, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QTableWidget* makeTable(const QStringList& headings, int stretchingColumn, const char* name,
                        QWidget* parent) {
    auto* table = new QTableWidget(0, static_cast<int>(headings.size()), parent);
    table->setObjectName(QString::fromLatin1(name));
    table->setHorizontalHeaderLabels(headings);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    // Every column as wide as its texts, and the one of long texts takes the rest: an address or a note
    // reads whole without scrolling sideways.
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(stretchingColumn, QHeaderView::Stretch);
    return table;
}

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
    for (int column = 0; column < cells.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
}

constexpr int kRowsShown = 4;
constexpr int kFewestRowsShown = 2;
constexpr int kAddressColumn = 1;
constexpr int kDishesColumn = 5;

QString YesNo(bool on) {
    return on ? QStringLiteral("是") : QStringLiteral("否");
}

} // namespace

PrintersPage::PrintersPage(Database& db, QWidget* parent) : QWidget(parent, Qt::Window), db_(db) {
    setObjectName(QStringLiteral("printersPage"));
    setWindowTitle(QStringLiteral("打印机"));

    printers_ = makeTable({QStringLiteral("名称"), QStringLiteral("地址"), QStringLiteral("纸宽"),
                           QStringLiteral("用途"), QStringLiteral("分类"), QStringLiteral("钱箱"),
                           QStringLiteral("启用")},
                          kAddressColumn, "printerTable", this);
    printers_->setMinimumWidth(Px(9000));
    connect(printers_, &QTableWidget::itemSelectionChanged, this, [this] {
        const int row = printers_->currentRow();
        if (row >= 0 && row < shown_.size())
            showInForm(shown_.at(row));
    });

    sharedWarning_ = new QLabel(this);
    sharedWarning_->setObjectName(QStringLiteral("sharedCategoriesWarning"));
    sharedWarning_->setWordWrap(true);
    sharedWarning_->setStyleSheet(QStringLiteral("color: #b00000;"));
    auto* unprintable = new QLabel(
        QStringLiteral("小票打印机只能印出 GBK 中的字符，其他字符（如 𠮷、😀、☕）印作“%1”，测试页上可以看到。")
            .arg(kUnprintableMark),
        this);
    unprintable->setObjectName(QStringLiteral("unprintableNotice"));
    unprintable->setWordWrap(true);

    phoneBox_ = makeCheck(QStringLiteral("手机订单自动送厨"), "phoneOrdersBox", this);
    phoneBox_->setToolTip(QStringLiteral("手机和扫码点的菜自动送到后厨打印机"));
    connect(phoneBox_, &QCheckBox::clicked, this, &PrintersPage::setPhoneOrdersToKitchen);

    // Four printers and four tickets in view; on a small screen the lists give way to the form, and on
    // a smaller one still the page scrolls.
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->addWidget(new WholeRowsHolder(printers_, kRowsShown, kFewestRowsShown, body));
    layout->addWidget(sharedWarning_);
    layout->addWidget(unprintable);
    layout->addWidget(buildForm());
    layout->addWidget(phoneBox_);
    layout->addWidget(buildJobs(), 1);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("printersPageArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(body);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    refresh();
    // Room for the scroll bar a short screen brings, so the page never scrolls sideways.
    resize(body->sizeHint() + QSize(scroll->verticalScrollBar()->sizeHint().width(), 0));
}

QWidget* PrintersPage::buildForm() {
    auto* group = new QGroupBox(QStringLiteral("打印机设置"), this);
    nameBox_ = new QLineEdit(group);
    nameBox_->setObjectName(QStringLiteral("printerNameBox"));
    nameBox_->setPlaceholderText(QStringLiteral("厨房、吧台、前台…"));
    addressBox_ = new QLineEdit(group);
    addressBox_->setObjectName(QStringLiteral("printerAddressBox"));
    addressBox_->setPlaceholderText(
        QStringLiteral("tcp://192.168.1.100:9100、usb:/dev/usb/lp0、cups:队列名 或 system"));
    paperBox_ = new QComboBox(group);
    paperBox_->setObjectName(QStringLiteral("paperBox"));
    paperBox_->addItems({QStringLiteral("80"), QStringLiteral("58")});
    kitchenBox_ = makeCheck(kKitchenUse, "kitchenUseBox", group);
    billsBox_ = makeCheck(kBillUse, "billUseBox", group);
    auto* uses = new QHBoxLayout;
    uses->addWidget(kitchenBox_);
    uses->addWidget(billsBox_);
    uses->addStretch();
    auto* categories = new QHBoxLayout;
    for (const QString& category : PrinterCategories()) {
        auto* box = new QCheckBox(category, group);
        box->setObjectName(QStringLiteral("categoryBox_") + category);
        categoryBoxes_.append(box);
        categories->addWidget(box);
    }
    categories->addWidget(new QLabel(QStringLiteral("（不选 = 其他打印机不接收的分类）"), group));
    categories->addStretch();
    drawerBox_ = makeCheck(QStringLiteral("结账离开时打开钱箱"), "drawerBox", group);
    enabledBox_ = makeCheck(QStringLiteral("启用"), "enabledBox", group);
    enabledBox_->setChecked(true);
    kitchenBox_->setChecked(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("名称："), nameBox_);
    form->addRow(QStringLiteral("地址："), addressBox_);
    form->addRow(QStringLiteral("纸宽（毫米）："), paperBox_);
    form->addRow(QStringLiteral("用途："), uses);
    form->addRow(QStringLiteral("分类："), categories);
    form->addRow(drawerBox_);
    form->addRow(enabledBox_);

    auto* add = NamedButton(QStringLiteral("添加"), "addPrinterButton", group);
    auto* change = NamedButton(QStringLiteral("修改"), "changePrinterButton", group);
    auto* remove = NamedButton(QStringLiteral("删除"), "removePrinterButton", group);
    auto* test = NamedButton(QStringLiteral("打印测试页"), "testPageButton", group);
    connect(add, &QPushButton::clicked, this, &PrintersPage::addPrinter);
    connect(change, &QPushButton::clicked, this, &PrintersPage::changePrinter);
    connect(remove, &QPushButton::clicked, this, &PrintersPage::removePrinter);
    connect(test, &QPushButton::clicked, this, &PrintersPage::printTestPage);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {add, change, remove, test})
        buttons->addWidget(button);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(group);
    layout->addLayout(form);
    layout->addLayout(buttons);
    return group;
}

QWidget* PrintersPage::buildJobs() {
    auto* group = new QGroupBox(QStringLiteral("今日打印记录"), this);
    jobs_ = makeTable({QStringLiteral("时间"), QStringLiteral("打印机"), QStringLiteral("种类"),
                       QStringLiteral("单号"), QStringLiteral("桌号"), QStringLiteral("菜品"),
                       QStringLiteral("状态"), QStringLiteral("说明")},
                      kDishesColumn, "jobTable", group);
    auto* reprint = NamedButton(QStringLiteral("重打"), "reprintButton", group);
    auto* update = NamedButton(QStringLiteral("刷新"), "refreshJobsButton", group);
    connect(reprint, &QPushButton::clicked, this, &PrintersPage::reprintJob);
    connect(update, &QPushButton::clicked, this, &PrintersPage::refresh);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(reprint);
    buttons->addWidget(update);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(new WholeRowsHolder(jobs_, kRowsShown, kFewestRowsShown, group));
    layout->addLayout(buttons);
    return group;
}

Printer PrintersPage::formPrinter() const {
    Printer printer;
    printer.name = nameBox_->text().trimmed();
    printer.address = addressBox_->text().trimmed();
    printer.paperMm = paperBox_->currentText().toInt();
    printer.kitchen = kitchenBox_->isChecked();
    printer.bills = billsBox_->isChecked();
    for (QCheckBox* box : categoryBoxes_)
        if (box->isChecked())
            printer.categories.append(box->text());
    printer.drawer = drawerBox_->isChecked();
    printer.enabled = enabledBox_->isChecked();
    return printer;
}

void PrintersPage::showInForm(const Printer& printer) {
    nameBox_->setText(printer.name);
    addressBox_->setText(printer.address);
    paperBox_->setCurrentText(QString::number(printer.paperMm));
    kitchenBox_->setChecked(printer.kitchen);
    billsBox_->setChecked(printer.bills);
    for (QCheckBox* box : categoryBoxes_)
        box->setChecked(printer.categories.contains(box->text()));
    drawerBox_->setChecked(printer.drawer);
    enabledBox_->setChecked(printer.enabled);
}

QString PrintersPage::selectedPrinter() const {
    const int row = printers_->currentRow();
    return row >= 0 && row < shown_.size() ? shown_.at(row).name : QString();
}

void PrintersPage::addPrinter() {
    try {
        PrinterStore(db_).add(formPrinter());
    } catch (const StoreError& error) {
        ShowMessage(this, error.text());
        return;
    }
    refresh();
}

void PrintersPage::changePrinter() {
    const QString name = selectedPrinter();
    if (name.isEmpty()) {
        ShowMessage(this, QStringLiteral("请先在列表中选择要修改的打印机。"));
        return;
    }
    try {
        PrinterStore(db_).change(name, formPrinter());
    } catch (const StoreError& error) {
        ShowMessage(this, error.text());
        return;
    }
    refresh();
}

void PrintersPage::removePrinter() {
    const QString name = selectedPrinter();
    if (name.isEmpty()) {
        ShowMessage(this, QStringLiteral("请先在列表中选择要删除的打印机。"));
        return;
    }
    try {
        const int waiting = JobStore(db_).unfinishedByPrinter().value(name);
        const QString question =
            waiting > 0 ? QStringLiteral("打印机“%1”还有 %2 张待打印，删除后这些单子不再打印。确定删除吗？")
                              .arg(name)
                              .arg(waiting)
                        : QStringLiteral("确定删除打印机“%1”吗？").arg(name);
        if (!AskYesNo(this, question))
            return;
        PrinterStore(db_).remove(name);
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("打印机没有删除。"), error.text());
        return;
    }
    refresh();
}

void PrintersPage::printTestPage() {
    const QString name = selectedPrinter();
    if (name.isEmpty()) {
        ShowMessage(this, QStringLiteral("请先在列表中选择要测试的打印机。"));
        return;
    }
    try {
        QueueTestPage(db_, name, QDateTime::currentDateTime());
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("测试页没有送出。"), error.text());
        return;
    }
    refresh();
}

void PrintersPage::reprintJob() {
    const int row = jobs_->currentRow();
    if (row < 0 || row >= jobIds_.size()) {
        ShowMessage(this, QStringLiteral("请先在打印记录中选择要重打的单子。"));
        return;
    }
    try {
        ReprintJob(db_, jobIds_.at(row), QDateTime::currentDateTime());
    } catch (const StoreError& error) {
        ShowMessage(this, error.text());
        return;
    }
    refresh();
}

void PrintersPage::setPhoneOrdersToKitchen(bool on) {
    try {
        PrinterStore(db_).setPhoneOrdersToKitchen(on);
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("手机订单自动送厨没有保存。"), error.text());
    }
}

void PrintersPage::refresh() {
    try {
        fillPrinters();
        fillJobs();
        phoneBox_->setChecked(PrinterStore(db_).phoneOrdersToKitchen());
    } catch (const StoreError& error) {
        reportFailure(QStringLiteral("打印机读取失败。"), error.text());
    }
}

void PrintersPage::fillPrinters() {
    const QString selected = selectedPrinter();
    shown_ = PrinterStore(db_).all();
    printers_->setRowCount(static_cast<int>(shown_.size()));
    for (int row = 0; row < shown_.size(); ++row) {
        const Printer& printer = shown_.at(row);
        SetRow(printers_, row,
               {printer.name, printer.address, QString::number(printer.paperMm), printer.useText(),
                printer.categories.isEmpty() ? QStringLiteral("（其余）")
                                             : printer.categories.join(QLatin1Char(',')),
                YesNo(printer.drawer), YesNo(printer.enabled)});
        printers_->item(row, kAddressColumn)->setToolTip(printer.address);
        if (printer.name == selected)
            printers_->selectRow(row);
    }
    const QString shared = SharedCategoriesWarning(shown_);
    sharedWarning_->setText(QStringLiteral("注意：%1。").arg(shared));
    sharedWarning_->setVisible(!shared.isEmpty());
}

void PrintersPage::fillJobs() {
    const QList<PrintJob> jobs = JobStore(db_).since(QDate::currentDate(), 200);
    jobIds_.clear();
    jobs_->setRowCount(static_cast<int>(jobs.size()));
    for (int row = 0; row < jobs.size(); ++row) {
        const PrintJob& job = jobs.at(row);
        jobIds_.append(job.id);
        QString kind = job.change.isEmpty() ? JobKindText(job.kind) : job.change;
        if (job.reprint)
            kind += QStringLiteral("（重打）");
        const QString content = job.kind == JobKind::Bill ? QStringLiteral("应收 ") + job.bill.receivable
                                : job.kind == JobKind::Report ? job.title
                                                              : LinesText(job.lines);
        SetRow(jobs_, row,
               {job.created.toString(QStringLiteral("HH:mm:ss")),
                job.printer.isEmpty() ? QStringLiteral("（无）") : job.printer, kind,
                job.number > 0 ? QString::number(job.number) : QString(), job.tableName, content,
                JobStateShown(job), job.note});
        jobs_->item(row, kDishesColumn)->setToolTip(content);
    }
}

void PrintersPage::reportFailure(const QString& what, const QString& why) {
    Log::write(what + why);
    ShowMessage(this, what + QLatin1Char('\n') + why);
}
