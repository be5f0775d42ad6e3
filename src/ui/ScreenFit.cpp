#include "ui/ScreenFit.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace {

// Before the window manager has framed a window its frame is unknown; a title bar of this height is
// kept free for it.
constexpr int kUnknownTitleBarPx = 32;

QMargins FrameMargins(const QWidget* window) {
    const QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    if (frame == inner && !window->windowFlags().testFlag(Qt::FramelessWindowHint))
        return {0, kUnknownTitleBarPx, 0, 0};
    return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
            frame.bottom() - inner.bottom()};
}

// A window the user works in, not a menu, tooltip or other popup.
bool IsFittedWindow(const QWidget* widget) {
    if (!widget->isWindow())
        return false;
    const Qt::WindowType type = widget->windowType();
    return type == Qt::Window || type == Qt::Dialog || type == Qt::Sheet;
}

// Moves a window whose frame stands past an edge of the area back inside it.
void MoveInside(QWidget* window, const QRect& area) {
    const QRect frame = window->frameGeometry();
    const QMargins margins = FrameMargins(window);
    const int width = window->width() + margins.left() + margins.right();
    const int height = window->height() + margins.top() + margins.bottom();
    const int x = std::max(area.left(), std::min(frame.left(), area.right() + 1 - width));
    const int y = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - height));
    if (x != frame.left() || y != frame.top())
        window->move(x, y);
}

class ScreenFitter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (IsFittedWindow(widget)) {
                FitToScreen(widget);
                // A dialog not placed by the program is placed by Qt over its parent, inside the screen.
                if (!qobject_cast<QDialog*>(widget) || widget->testAttribute(Qt::WA_Moved))
                    MoveInsideScreen(widget);
            }
        }
        return false;
    }
};

} // namespace

QRect AvailableArea(const QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void FitToScreen(QWidget* window) {
    const QRect area = AvailableArea(window);
    if (area.isEmpty())
        return;
    const QMargins frame = FrameMargins(window);
    const QSize room = area.size().shrunkBy(frame);
    QSize wanted = window->size();
    if (const QLayout* layout = window->layout(); layout && layout->hasHeightForWidth())
        wanted.setHeight(std::max(wanted.height(), layout->totalHeightForWidth(wanted.width())));
    const QSize fitted = wanted.boundedTo(room).expandedTo(window->minimumSize());
    if (fitted != window->size())
        window->resize(fitted);
}

void MoveInsideScreen(QWidget* window) {
    const QRect area = AvailableArea(window);
    if (!area.isEmpty())
        MoveInside(window, area);
}

QSize FramedSize(const QWidget* window) {
    return window->size().grownBy(FrameMargins(window));
}

void FitWindowsToScreen(QApplication& app) {
    app.installEventFilter(new ScreenFitter(&app));
}
