#include "app/LoginWindow.h"

#include "settings/Password.h"
#include "settings/StaffAccounts.h"
#include "store/PasswordHash.h"
#include "store/Schema.h"
#include "ui/Widgets.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

class StarPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* answer) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, answer);
    }
};

} // namespace

LoginWindow::LoginWindow(const QString& passwordHash, QWidget* parent)
    : LoginWindow(
          QList<StaffAccount>{StaffAccount{kFirstStaffId, kRoleOwner, kRoleOwner, passwordHash, true}},
          parent) {}

LoginWindow::LoginWindow(QList<StaffAccount> accounts, QWidget* parent)
    : QDialog(parent), accounts_(std::move(accounts)), passwordBox_(new QLineEdit(this)) {
    Q_ASSERT(!accounts_.isEmpty());
    setObjectName(QStringLiteral("loginWindow"));
    setWindowTitle(QStringLiteral(" 登录"));
    const bool withStaff = accounts_.size() > 1;
    setFixedSize(360, withStaff ? 260 : 220);

    auto* band = new QLabel(QStringLiteral("澄槿餐饮点餐收银软件"), this);
    band->setObjectName(QStringLiteral("titleBand"));
    band->setAlignment(Qt::AlignCenter);
    band->setFixedHeight(60);
    band->setStyleSheet(QStringLiteral("background: rgb(75,151,199); color: white; font-size: 16pt;"));

    passwordBox_->setObjectName(QStringLiteral("passwordEdit"));
    // The factory password shows only where the restaurant has one account.
    const LoginPrefill prefill =
        withStaff ? LoginPrefill{QString(), true} : LoginPrefillFor(accounts_.first().passwordHash);
    passwordBox_->setText(prefill.text);
    passwordBox_->setEchoMode(prefill.masked ? QLineEdit::Password : QLineEdit::Normal);
    // A changed password is masked with "*", not the style's dot. Set before the frame's style sheet, which
    // builds on the box's own style.
    auto* starStyle = new StarPasswordStyle;
    starStyle->setParent(passwordBox_);
    passwordBox_->setStyle(starStyle);
    FrameControl(passwordBox_);

    auto* ok = new QPushButton(QStringLiteral("确  定"), this);
    ok->setObjectName(QStringLiteral("loginButton"));
    auto* cancel = new QPushButton(QStringLiteral("取  消"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);

    auto* staffRow = new QHBoxLayout;
    if (withStaff) {
        staffBox_ = new QComboBox(this);
        staffBox_->setObjectName(QStringLiteral("staffBox"));
        for (const StaffAccount& account : accounts_)
            staffBox_->addItem(QStringLiteral("%1 %2（%3）").arg(account.id, account.name, account.role));
        staffRow->addWidget(new QLabel(QStringLiteral("员工："), this));
        staffRow->addWidget(staffBox_, 1);
        connect(staffBox_, &QComboBox::currentIndexChanged, passwordBox_, [this] {
            passwordBox_->clear();
            passwordBox_->setFocus();
        });
    }
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("密码："), this));
    row->addWidget(passwordBox_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* body = new QVBoxLayout;
    body->setContentsMargins(30, 16, 30, 16);
    if (withStaff) {
        body->addLayout(staffRow);
        body->addSpacing(8);
    }
    body->addLayout(row);
    body->addSpacing(12);
    body->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(band);
    layout->addLayout(body);

    connect(ok, &QPushButton::clicked, this, &LoginWindow::tryLogin);
    connect(cancel, &QPushButton::clicked, this, &LoginWindow::reject);
    connect(passwordBox_, &QLineEdit::returnPressed, this, &LoginWindow::tryLogin);
    passwordBox_->setFocus();
}

void LoginWindow::setVisible(bool visible) {
    QDialog::setVisible(visible);
    // Showing a dialog focuses the box as if by Tab, which selects its text; the caret goes after it instead.
    if (visible) {
        passwordBox_->deselect();
        passwordBox_->setCursorPosition(passwordBox_->text().size());
    }
}

void LoginWindow::tryLogin() {
    if (!PasswordHashMatches(passwordBox_->text(), accounts_.at(chosen()).passwordHash)) {
        ShowMessage(this, QStringLiteral("密码错误！"));
        return;
    }
    accepted_ = true;
    hide();
    Q_EMIT loggedIn();
}

int LoginWindow::chosen() const {
    return staffBox_ ? std::max(0, staffBox_->currentIndex()) : 0;
}

void LoginWindow::reject() {
    if (accepted_)
        return;
    hide();
    Q_EMIT cancelled();
}

void LoginWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    reject();
}
