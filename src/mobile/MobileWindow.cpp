#include "mobile/MobileWindow.h"

#include "mobile/LocalAddress.h"
#include "mobile/MobileService.h"
#include "mobile/qr/QRCode.h"
#include "settings/SettingsStore.h"
#include "store/Log.h"
#include "store/StoreError.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QColor kBand(75, 151, 199);
constexpr int kCodeSide = 1575; // twips

const QString kInstructions = QStringLiteral(
    "用手机扫描左边的二维码，即可在手机上点餐；平板电脑请把下面的链接地址复制到浏览器中打开。"
    "打开后请把页面加入书签（收藏），下次直接使用。\n"
    "如果页面打不开，请检查：已勾选“开启手机点餐功能”；手机和电脑连接在同一个网络（同一个无线路由器）；"
    "本收银软件保持运行；电脑的防火墙或杀毒软件允许端口 8212 的连接。仍打不开请查看教程。");

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
    setObjectName(QStringLiteral("Form24"));
    setWindowTitle(QStringLiteral("手机点餐"));
    setAttribute(Qt::WA_DeleteOnClose);

    band_ = new QLabel(this);
    band_->setObjectName(QStringLiteral("Label8"));
    band_->setFixedHeight(Px(450));
    band_->setAutoFillBackground(true);
    QPalette palette = band_->palette();
    palette.setColor(QPalette::Window, kBand);
    band_->setPalette(palette);

    code_ = new QLabel(this);
    code_->setObjectName(QStringLiteral("Image1"));
    code_->setFixedSize(Px(kCodeSide), Px(kCodeSide));
    code_->setAlignment(Qt::AlignCenter);

    instructions_ = new QLabel(kInstructions, this);
    instructions_->setObjectName(QStringLiteral("Label9"));
    instructions_->setWordWrap(true);
    instructions_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    linkCaption_ = new QLabel(QStringLiteral("链接地址："), this);
    linkCaption_->setObjectName(QStringLiteral("Label3"));
    linkCaption_->setCursor(Qt::PointingHandCursor);
    linkCaption_->setStyleSheet(QStringLiteral("color: rgb(0,0,255); text-decoration: underline;"));
    linkCaption_->installEventFilter(this);

    addressBox_ = new QLineEdit(this);
    addressBox_->setObjectName(QStringLiteral("text1"));
    addressBox_->setReadOnly(true);
    FrameControl(addressBox_);

    enable_ = new QCheckBox(QStringLiteral("开启手机点餐功能"), this);
    enable_->setObjectName(QStringLiteral("Check1"));

    tutorial_ = new QLabel(QStringLiteral("查看教程"), this);
    tutorial_->setObjectName(QStringLiteral("Label1"));
    tutorial_->setCursor(Qt::PointingHandCursor);
    tutorial_->setStyleSheet(QStringLiteral("color: rgb(0,0,255); text-decoration: underline;"));
    tutorial_->installEventFilter(this);

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
    switches->addWidget(tutorial_);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(Px(300), Px(225), Px(300), Px(225));
    body->setSpacing(Px(180));
    body->addLayout(top);
    body->addLayout(link);
    body->addLayout(switches);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(band_);
    layout->addLayout(body, 1);
    resize(Px(7200), Px(4200));

    // Load: the box follows the stored flag, and a change of its value runs the enable action.
    connect(enable_, &QCheckBox::toggled, this, &MobileWindow::Check1_Click);
    enable_->setChecked(store_.mobileFlag() == 1);
    const QString pageAddress = MobileService::PageAddress(GetLocalAddress());
    showCode(pageAddress);
    addressBox_->setText(pageAddress);
    addressBox_->setCursorPosition(0);
    CenterOnScreen(this);
}

QString MobileWindow::address() const {
    return addressBox_->text();
}

void MobileWindow::showCode(const QString& address) {
    clsQRCode encoder;
    const QImage symbol = encoder.EncodeText(address.toLatin1(), 0, clsQRCode::kLevelM, 0);
    if (symbol.isNull()) {
        code_->clear();
        return;
    }
    // Stretched to the square without smoothing, so every module keeps sharp edges.
    code_->setPixmap(
        QPixmap::fromImage(symbol.scaled(code_->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation)));
}

void MobileWindow::Check1_Click(bool on) {
    showResult(this, MobileService::ApplySwitch(server_, on));
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
