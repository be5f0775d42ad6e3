#pragma once

#include <QWidget>

class QTimer;

// One dining table on the map: white tile, free or occupied picture, name below, selection frame.
class TileWidget : public QWidget {
    Q_OBJECT
public:
    TileWidget(int index, QWidget* parent);

    void setCaption(const QString& caption);
    QString caption() const { return caption_; }
    // The line above the picture: the open bill's 应收 and time, empty for a free table.
    void setStatus(const QString& status);
    QString status() const { return status_; }
    void setOccupied(bool occupied);
    bool occupied() const { return occupied_; }
    void setSelected(bool selected);
    bool selected() const { return selected_; }
    // A phone order nobody has looked at yet: the tile flashes until this is switched off.
    void setAlerting(bool alerting);
    bool alerting() const { return alertTimer_ != nullptr; }
    static constexpr int kAlertBlinkMs = 500;

Q_SIGNALS:
    void clicked(int index);
    void doubleClicked(int index);
    void contextRequested(int index, const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    int index_;
    QString caption_;
    QString status_;
    bool occupied_ = false;
    bool selected_ = false;
    QTimer* alertTimer_ = nullptr; // runs while alerting
    bool alertLit_ = false;
};
