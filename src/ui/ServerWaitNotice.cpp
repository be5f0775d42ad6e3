#include "ui/ServerWaitNotice.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <algorithm>

ServerWaitNotice::~ServerWaitNotice() {
    hide();
}

ServerWaitObserver ServerWaitNotice::observer() {
    return [this](std::chrono::milliseconds waited, bool finished) {
        if (finished)
            hide();
        else
            show(waited);
    };
}

QString ServerWaitNotice::Text(std::chrono::milliseconds waited) {
    using std::chrono::seconds, std::chrono::duration_cast;
    return QStringLiteral("正在等待数据库服务器应答……已等 %1 秒\n网络不通时最多等 %2 "
                          "秒，然后提示失败，什么也不会保存一半")
        .arg(duration_cast<seconds>(waited).count())
        .arg(duration_cast<seconds>(ServerAnswerTime()).count());
}

void ServerWaitNotice::show(std::chrono::milliseconds waited) {
    QWidget* window = QApplication::activeModalWidget();
    if (!window)
        window = QApplication::activeWindow();
    if (!window || !window->isVisible())
        return;
    if (label_ && label_->window() != window)
        hide();
    if (!label_) {
        label_ = new QLabel(window);
        label_->setAlignment(Qt::AlignCenter);
        label_->setStyleSheet(QStringLiteral(
            "QLabel { background: #FFF3C0; color: #000000; border: 2px solid #C08000; padding: 12px; }"));
    }
    label_->setText(Text(waited));
    // Narrow windows (the login) wrap the text instead of cutting it.
    label_->setWordWrap(false);
    const int fullWidth = label_->sizeHint().width();
    label_->setWordWrap(fullWidth > window->width() - 16);
    label_->setFixedWidth(std::min(fullWidth, window->width() - 16));
    label_->setFixedHeight(label_->heightForWidth(label_->width()) > 0 ? label_->heightForWidth(label_->width())
                                                                       : label_->sizeHint().height());
    label_->move((window->width() - label_->width()) / 2, (window->height() - label_->height()) / 2);
    label_->show();
    label_->raise();
    label_->repaint();
}

void ServerWaitNotice::hide() {
    if (!label_)
        return;
    label_->hide();
    label_->deleteLater();
    label_.clear();
}
