#include "ui/Widgets.h"

#include <QAbstractScrollArea>
#include <QFrame>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace {
const char* const kFramedProperty = "cjFramed";
}

void FrameControl(QWidget* control) {
    if (!control || IsFramed(control))
        return;
    control->setProperty(kFramedProperty, true);
    // The selector names the property, so children of the same class keep their own look.
    control->setStyleSheet(control->styleSheet() +
                           QStringLiteral("*[cjFramed=\"true\"] { border: 1px solid rgb(192,192,192); }"));
}

bool IsFramed(const QWidget* control) {
    return control && control->property(kFramedProperty).toBool();
}

void ShowMessage(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool AskOkCancel(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
    return box.exec() == QMessageBox::Ok;
}

bool AskYesNo(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

void CenterOnScreen(QWidget* window, int yOffsetPx) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    window->move(area.x() + (area.width() - size.width()) / 2,
                 area.y() + (area.height() - size.height()) / 2 - yOffsetPx);
}

void KeepOnScreen(QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    const int x = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
    const int y = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
    if (x != frame.left() || y != frame.top())
        window->move(x, y);
}
