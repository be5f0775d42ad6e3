#include "ui/ServerWaitNotice.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <QEvent>

#include <algorithm>

namespace {

// Installed on the application while the windows take events in the middle of a step: what the user does
// is held off, and the notice says why.
class HeldInput : public QObject {
public:
    HeldInput(QLabel* notice, bool& answered)
        : notice_(notice), answered_(answered), modalBefore_(QApplication::activeModalWidget()) {
        qApp->installEventFilter(this);
    }
    ~HeldInput() override { qApp->removeEventFilter(this); }
    HeldInput(const HeldInput&) = delete;
    HeldInput& operator=(const HeldInput&) = delete;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        // A message that something run meanwhile had to show can still be answered and closed.
        if (const auto* widget = qobject_cast<QWidget*>(receiver);
            widget && widget->window()->isModal() && widget->window() != modalBefore_)
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::KeyPress:
        case QEvent::Close:
            answer();
            return true;
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::InputMethod:
        case QEvent::DragEnter:
        case QEvent::Drop:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonDblClick:
            return true;
        default:
            return false;
        }
    }

private:
    void answer() {
        if (answered_ || !notice_)
            return;
        answered_ = true;
        notice_->setText(ServerWaitNotice::kHeldInput + notice_->text());
        notice_->repaint();
    }

    QPointer<QLabel> notice_;
    bool& answered_;
    QPointer<QWidget> modalBefore_;
};

} // namespace

ServerWaitNotice::~ServerWaitNotice() {
    hide();
}

ServerWaitObserver ServerWaitNotice::observer() {
    return [this](std::chrono::milliseconds waited, bool finished) {
        if (finished) {
            hide();
            return;
        }
        show(waited);
        keepWindowsAlive();
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
    label_->setText((inputHeld_ ? kHeldInput : QString()) + Text(waited));
    // Narrow windows (the login) wrap the text instead of cutting it.
    label_->setWordWrap(false);
    const int fullWidth = label_->sizeHint().width();
    label_->setWordWrap(fullWidth > window->width() - 16);
    label_->setFixedWidth(std::min(fullWidth, window->width() - 16));
    label_->setFixedHeight(label_->heightForWidth(label_->width()) > 0
                               ? label_->heightForWidth(label_->width())
                               : label_->sizeHint().height());
    label_->move((window->width() - label_->width()) / 2, (window->height() - label_->height()) / 2);
    label_->show();
    label_->raise();
    label_->repaint();
}

void ServerWaitNotice::keepWindowsAlive() {
    const HeldInput held(label_, inputHeld_);
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers);
}

void ServerWaitNotice::hide() {
    inputHeld_ = false;
    if (!label_)
        return;
    label_->hide();
    label_->deleteLater();
    label_.clear();
}
