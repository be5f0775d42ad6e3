#include "main/TileWidget.h"

#include "desk/TableMap.h"
#include "ui/Widgets.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

TileWidget::TileWidget(int index, QWidget* parent) : QWidget(parent), index_(index) {
    setObjectName(QStringLiteral("tile%1").arg(index));
    setFixedSize(Px(TableMap::kTileWidth), Px(TableMap::kTileHeight));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TileWidget::setCaption(const QString& caption) {
    caption_ = caption;
    setToolTip(caption);
    update();
}

void TileWidget::setStatus(const QString& status) {
    if (status_ == status)
        return;
    status_ = status;
    update();
}

void TileWidget::setOccupied(bool occupied) {
    if (occupied_ == occupied)
        return;
    occupied_ = occupied;
    update();
}

void TileWidget::setSelected(bool selected) {
    if (selected_ == selected)
        return;
    selected_ = selected;
    update();
}

void TileWidget::setAlerting(bool alerting) {
    if (alerting == this->alerting())
        return;
    if (alerting) {
        alertTimer_ = new QTimer(this);
        connect(alertTimer_, &QTimer::timeout, this, [this] {
            alertLit_ = !alertLit_;
            update();
        });
        alertTimer_->start(kAlertBlinkMs);
        alertLit_ = true;
    } else {
        delete std::exchange(alertTimer_, nullptr);
        alertLit_ = false;
    }
    update();
}

void TileWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QColor alertColour(255, 170, 0);
    painter.fillRect(rect(), alertLit_ ? alertColour : QColor(Qt::white));
    // The frame stays while the fill blinks, so an alerting tile is told apart in either phase.
    if (alerting()) {
        painter.setPen(QPen(alertColour, Px(60)));
        painter.drawRect(rect().adjusted(Px(30), Px(30), -Px(30), -Px(30)));
    }
    if (selected_) {
        painter.setPen(QPen(QColor(128, 128, 255), 1));
        painter.drawRect(QRect(Px(120), Px(300), Px(1275) - 1, Px(1275) - 1));
    }
    static const QPixmap free(QStringLiteral(":/tiles/table_free.png"));
    static const QPixmap busy(QStringLiteral(":/tiles/table_busy.png"));
    painter.drawPixmap(QRect(Px(360), Px(420), Px(795), Px(795)), occupied_ ? busy : free);
    if (!status_.isEmpty()) {
        QFont small = painter.font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        painter.save();
        painter.setFont(small);
        painter.setPen(QColor(200, 0, 0));
        const QRect statusRect(Px(30), 0, Px(1455), Px(300));
        painter.drawText(statusRect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                         painter.fontMetrics().elidedText(status_, Qt::ElideRight, statusRect.width()));
        painter.restore();
    }
    painter.setPen(Qt::black);
    const QRect captionRect(Px(60), Px(1320), Px(1395), Px(255));
    painter.drawText(captionRect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(caption_, Qt::ElideRight, captionRect.width()));
}

void TileWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        Q_EMIT clicked(index_);
}

void TileWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton)
        Q_EMIT contextRequested(index_, event->globalPosition().toPoint());
}

void TileWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        Q_EMIT doubleClicked(index_);
}
