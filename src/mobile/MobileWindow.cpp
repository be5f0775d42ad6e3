#include "mobile/MobileWindow.h"

#include "mobile/CodeSheet.h"
#include "mobile/LocalAddress.h"
#include "mobile/MobileService.h"
#include "mobile/ServerControl.h"
#include "mobile/TableTokens.h"
#include "settings/SettingsStore.h"
#include "store/Log.h"
#include "store/Settings.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QColor kBand(75, 151, 199);
constexpr int kCodeSide = 1575; // twips

const QString kInstructions =
    QStringLiteral(
        "用手机扫描左边的二维码，即可在手机上点餐；平板电脑请把下面的链接地址复制到浏览器中打开。"
        "打开后请把页面加入书签（收藏），下次直接使用。\n"
        "如果页面打不开，请检查：已勾选“开启手机点餐功能”；手机和电脑连接在同一个网络（同一个无线路由器）；"
        "本收银软件保持运行；电脑的防火墙或杀毒软件允许端口 %1 的连接。仍打不开请查看教程。")
        .arg(MobileService::kPort);

void showResult(QWidget* parent, MobileService::SwitchResult result) {
    const QString message = MobileService::SwitchMessage(result);
    if (message.isEmpty())
        return;
    Log::write(message);
    ShowMessage(parent, message, kProgramTitle);
}

} // namespace

MobileWindow::MobileWindow(Database& db, SettingsStore& store, ServerControl& server, QWidget* parent)
    : QWidget(parent, Qt::Window), db_(db), store_(store), server_(server) {
    setObjectName(QStringLiteral("mobileWindow"));
    setWindowTitle(QStringLiteral("手机点餐"));
    setAttribute(Qt::WA_DeleteOnClose);

    band_ = new QLabel(this);
    band_->setObjectName(QStringLiteral("titleBand"));
    band_->setFixedHeight(Px(450));
    band_->setAutoFillBackground(true);
    QPalette palette = band_->palette();
    palette.setColor(QPalette::Window, kBand);
    band_->setPalette(palette);

    code_ = new QLabel(this);
    code_->setObjectName(QStringLiteral("codeImage"));
    code_->setFixedSize(Px(kCodeSide), Px(kCodeSide));
    code_->setAlignment(Qt::AlignCenter);

    instructions_ = new QLabel(kInstructions, this);
    instructions_->setObjectName(QStringLiteral("instructionsLabel"));
    instructions_->setWordWrap(true);
    instructions_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    linkCaption_ = new QLabel(QStringLiteral("链接地址："), this);
    linkCaption_->setObjectName(QStringLiteral("linkCaption"));
    linkCaption_->setCursor(Qt::PointingHandCursor);
    linkCaption_->setStyleSheet(QStringLiteral("color: rgb(0,0,255); text-decoration: underline;"));
    linkCaption_->installEventFilter(this);

    addressBox_ = new QLineEdit(this);
    addressBox_->setObjectName(QStringLiteral("addressEdit"));
    addressBox_->setReadOnly(true);
    FrameControl(addressBox_);

    enable_ = new QCheckBox(QStringLiteral("开启手机点餐功能"), this);
    enable_->setObjectName(QStringLiteral("enableCheckBox"));

    tutorial_ = new QLabel(QStringLiteral("查看教程"), this);
    tutorial_->setObjectName(QStringLiteral("tutorialLink"));
    tutorial_->setCursor(Qt::PointingHandCursor);
    tutorial_->setStyleSheet(QStringLiteral("color: rgb(0,0,255); text-decoration: underline;"));
    tutorial_->installEventFilter(this);

    printCodes_ = new QPushButton(QStringLiteral("打印桌台二维码"), this);
    printCodes_->setObjectName(QStringLiteral("printCodesButton"));
    renewCodes_ = new QPushButton(QStringLiteral("重新生成二维码"), this);
    renewCodes_->setObjectName(QStringLiteral("renewCodesButton"));

    guestPerDish_ = new QSpinBox(this);
    guestPerDish_->setObjectName(QStringLiteral("guestPerDishBox"));
    guestPerOrder_ = new QSpinBox(this);
    guestPerOrder_->setObjectName(QStringLiteral("guestPerOrderBox"));
    for (QSpinBox* box : {guestPerDish_, guestPerOrder_})
        box->setRange(1, 9999);
    guestConfirm_ = new QCheckBox(QStringLiteral("顾客下单后由服务员确认"), this);
    guestConfirm_->setObjectName(QStringLiteral("guestConfirmCheckBox"));
    guestConfirm_->setToolTip(
        QStringLiteral("顾客扫码下的单先出现在收银台的“顾客订单”中，确认后才加入账单、送厨房。"));

    hints_ = new QLabel(this);
    hints_->setObjectName(QStringLiteral("hintsLabel"));
    hints_->setWordWrap(true);
    hints_->setStyleSheet(QStringLiteral("color: rgb(200,0,0);"));
    hints_->hide();

    auto* top = new QHBoxLayout;
    top->setSpacing(Px(225));
    top->addWidget(code_, 0, Qt::AlignTop);
    top->addWidget(instructions_, 1);
    auto* link = new QHBoxLayout;
    link->addWidget(linkCaption_);
    link->addWidget(addressBox_, 1);
    auto* switches = new QHBoxLayout;
    switches->addWidget(enable_);
    switches->addStretch();
    switches->addWidget(printCodes_);
    switches->addWidget(renewCodes_);
    switches->addSpacing(Px(225));
    switches->addWidget(tutorial_);
    auto* guests = new QHBoxLayout;
    guests->addWidget(new QLabel(QStringLiteral("顾客扫码点餐：每道菜最多"), this));
    guests->addWidget(guestPerDish_);
    guests->addWidget(new QLabel(QStringLiteral("份，每单最多"), this));
    guests->addWidget(guestPerOrder_);
    guests->addWidget(new QLabel(QStringLiteral("份"), this));
    guests->addSpacing(Px(225));
    guests->addWidget(guestConfirm_);
    guests->addStretch();
    auto* body = new QVBoxLayout;
    body->setContentsMargins(Px(300), Px(225), Px(300), Px(225));
    body->setSpacing(Px(180));
    body->addLayout(top);
    body->addLayout(link);
    body->addLayout(switches);
    body->addLayout(guests);
    body->addWidget(hints_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(band_);
    layout->addLayout(body, 1);
    resize(Px(7200), Px(4200));

    // The box starts from the stored flag; every change of it starts or stops the server.
    connect(enable_, &QCheckBox::toggled, this, &MobileWindow::switchMobileOrdering);
    connect(printCodes_, &QPushButton::clicked, this, &MobileWindow::printTableCodes);
    connect(renewCodes_, &QPushButton::clicked, this, &MobileWindow::renewTableCodes);
    enable_->setChecked(store_.mobileFlag() == 1);
    showGuestLimits();
    for (QSpinBox* box : {guestPerDish_, guestPerOrder_})
        connect(box, &QSpinBox::editingFinished, this, &MobileWindow::saveGuestLimits);
    connect(guestConfirm_, &QCheckBox::toggled, this, &MobileWindow::saveGuestLimits);
    const QString pageAddress = MobileService::PageAddress(GetLocalAddress());
    showCode(pageAddress);
    addressBox_->setText(pageAddress);
    addressBox_->setCursorPosition(0);
    showHints();
    CenterOnScreen(this);
}

void MobileWindow::showHints() {
    QStringList hints;
    try {
        hints = MobileService::HintsToShowOnce(db_, server_.dataFolder(), enable_->isChecked());
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("手机点餐提示未能读取：%1").arg(error.text()));
    }
    if (hints.isEmpty())
        return;
    const QString shown = hints_->text();
    hints_->setText(shown.isEmpty() ? hints.join(QLatin1Char('\n'))
                                    : shown + QLatin1Char('\n') + hints.join(QLatin1Char('\n')));
    hints_->show();
    // As tall as the wrapped advice and warnings need at this width, within the screen.
    KeepOnScreen(this);
}

void MobileWindow::showGuestLimits() {
    GuestLimits limits;
    try {
        limits = ReadGuestLimits(db_);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("顾客点餐限量未能读取：%1").arg(error.text()));
    }
    const QSignalBlocker quietConfirm(guestConfirm_);
    guestPerDish_->setValue(limits.perDish);
    guestPerOrder_->setValue(limits.perOrder);
    guestConfirm_->setChecked(limits.confirm);
}

void MobileWindow::saveGuestLimits() {
    const GuestLimits limits{guestPerDish_->value(), guestPerOrder_->value(), guestConfirm_->isChecked()};
    try {
        if (limits != ReadGuestLimits(db_))
            WriteGuestLimits(db_, limits);
    } catch (const StoreError& error) {
        ShowMessage(this, QStringLiteral("顾客点餐设置没有保存：%1").arg(error.text()));
        showGuestLimits();
    }
}

QString MobileWindow::address() const {
    return addressBox_->text();
}

void MobileWindow::showCode(const QString& address) {
    const QImage symbol = CodeSheet::Symbol(address.toLatin1());
    if (symbol.isNull()) {
        code_->clear();
        return;
    }
    // Stretched to the square without smoothing, so every module keeps sharp edges.
    code_->setPixmap(
        QPixmap::fromImage(symbol.scaled(code_->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation)));
}

void MobileWindow::printTableCodes() {
    const QString local = GetLocalAddress();
    if (local.isEmpty()) {
        ShowMessage(this, QStringLiteral("未找到本机的网络地址，无法生成桌台二维码。请连接网络后再试。"));
        return;
    }
    QList<TableCode> codes;
    try {
        codes = CodeSheet::TableCodes(db_, local);
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("桌台二维码未能生成：%1").arg(error.text()));
        ShowMessage(this, QStringLiteral("桌台二维码未能生成：%1").arg(error.text()));
        return;
    }
    if (codes.isEmpty()) {
        ShowMessage(this, QStringLiteral("还没有餐桌，请先在设置中添加餐桌。"));
        return;
    }
    const QPrinterInfo printerInfo = QPrinterInfo::defaultPrinter();
    if (printerInfo.isNull()) {
        if (!AskYesNo(this, QStringLiteral("未找到打印机。是否把桌台二维码保存为 PDF 文件？")))
            return;
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("保存桌台二维码"), QDir::home().filePath(QStringLiteral("桌台二维码.pdf")),
            QStringLiteral("PDF 文件 (*.pdf)"));
        if (path.isEmpty())
            return;
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(600);
        writer.setTitle(QStringLiteral("桌台二维码"));
        QPainter painter;
        if (!painter.begin(&writer)) {
            ShowMessage(this, QStringLiteral("文件 %1 无法写入，桌台二维码没有保存。").arg(path));
            return;
        }
        CodeSheet::Paint(painter, writer, codes);
        painter.end();
        ShowMessage(this, QStringLiteral("桌台二维码已保存到 %1").arg(path));
        return;
    }
    QPrinter printer(printerInfo, QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(QStringLiteral("桌台二维码"));
    QPainter painter;
    if (!painter.begin(&printer)) {
        ShowMessage(
            this, QStringLiteral("打印机 %1 无法使用，桌台二维码没有打印。").arg(printerInfo.printerName()));
        return;
    }
    CodeSheet::Paint(painter, printer, codes);
    painter.end();
}

void MobileWindow::renewTableCodes() {
    if (!AskYesNo(this,
                  QStringLiteral("重新生成后，已打印的桌台二维码全部失效，需要重新打印。确定要重新生成吗？")))
        return;
    try {
        TableTokens::RenewTokens(db_, SettingsStore(db_).tableKeys());
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("桌台二维码未能重新生成：%1").arg(error.text()));
        ShowMessage(this,
                    QStringLiteral("桌台二维码未能重新生成，原来的二维码仍然有效：%1").arg(error.text()));
        return;
    }
    ShowMessage(this, QStringLiteral("桌台二维码已重新生成，请重新打印。"));
}

void MobileWindow::switchMobileOrdering(bool on) {
    showResult(this, MobileService::ApplySwitch(server_, on));
    if (on)
        showHints();
}

void MobileWindow::ApplyStoredSwitch(SettingsStore& store, ServerControl& server, QWidget* parent) {
    if (store.mobileFlag() == 1)
        showResult(parent, MobileService::ApplySwitch(server, true));
}

void MobileWindow::closeEvent(QCloseEvent* event) {
    try {
        MobileService::StoreFlag(db_, store_, enable_->isChecked());
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("手机点餐开关未能保存：%1").arg(error.text()));
        ShowMessage(this, QStringLiteral("手机点餐开关未能保存：%1").arg(error.text()));
    }
    event->accept();
}

bool MobileWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == linkCaption_) {
            QDesktopServices::openUrl(QUrl(addressBox_->text()));
            return true;
        }
        if (watched == tutorial_) {
            Q_EMIT tutorialRequested();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
