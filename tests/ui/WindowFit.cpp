#include "WindowFit.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QRegion>
#include <QScreen>
#include <QWidget>

namespace {

QString Text(const QRect& rect) {
    return QStringLiteral("%1x%2 at %3,%4").arg(rect.width()).arg(rect.height()).arg(rect.x()).arg(rect.y());
}

bool InScrollingArea(const QWidget* widget, const QWidget* window) {
    for (const QWidget* w = widget->parentWidget(); w && w != window; w = w->parentWidget())
        if (qobject_cast<const QAbstractScrollArea*>(w))
            return true;
    return false;
}

QString Name(const QWidget* widget) {
    const QString text = widget->property("text").toString();
    return QStringLiteral("%1 \"%2\"").arg(widget->objectName(), text);
}

} // namespace

QStringList OutOfReach(const QWidget* window) {
    QStringList found;
    const QRect area = window->screen()->availableGeometry();
    const QRect frame = window->frameGeometry();
    if (!area.contains(frame))
        found.append(QStringLiteral("%1: window %2 stands past the screen's free area %3")
                         .arg(window->objectName(), Text(frame), Text(area)));
    const QList<QAbstractButton*> buttons = window->findChildren<QAbstractButton*>();
    for (const QAbstractButton* button : buttons) {
        if (button->window() != window || !button->isVisible() || InScrollingArea(button, window))
            continue;
        const QRect inWindow(button->mapTo(window, QPoint(0, 0)), button->size());
        if (!window->rect().contains(inWindow))
            found.append(QStringLiteral("%1: button %2 at %3 lies outside the window's %4")
                             .arg(window->objectName(), Name(button), Text(inWindow), Text(window->rect())));
        else if (button->visibleRegion() != QRegion(button->rect()))
            found.append(QStringLiteral("%1: button %2 is partly covered or cut")
                             .arg(window->objectName(), Name(button)));
    }
    return found;
}
