#include "ui/Widgets.h"

#include "ui/ScreenFit.h"

#include <QAbstractScrollArea>
#include <QDateEdit>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QPushButton>
#include <QVariant>
#include <QWidget>

namespace {
const char* const kFramedProperty = "cjFramed";

// Besides the title, a window manager's title bar holds the window icon and three buttons.
constexpr int kTitleBarExtrasPx = 170;

// QMessageBox sizes itself to its text and buttons only, so a short message gets a box whose title bar
// shows "…" instead of the title. An invisible spacer across the box's grid widens it to fit the title.
void FitTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int width = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + kTitleBarExtrasPx;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0,
                  1, grid->columnCount());
}
} // namespace

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
    FitTitle(box);
    box.exec();
}

bool AskOkCancel(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
    FitTitle(box);
    return box.exec() == QMessageBox::Ok;
}

bool AskYesNo(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    FitTitle(box);
    return box.exec() == QMessageBox::Yes;
}

void CenterOnScreen(QWidget* window, int yOffsetPx) {
    FitToScreen(window);
    const QRect area = AvailableArea(window);
    if (area.isEmpty())
        return;
    const QSize size = FramedSize(window);
    window->move(area.x() + (area.width() - size.width()) / 2,
                 area.y() + (area.height() - size.height()) / 2 - yOffsetPx);
    MoveInsideScreen(window);
}

void KeepOnScreen(QWidget* window) {
    FitToScreen(window);
    MoveInsideScreen(window);
}

QString CaptionWithKey(const QString& caption, const QKeySequence& key) {
    QString plain = caption;
    plain.remove(QLatin1Char(' '));
    return QStringLiteral("%1 (%2)").arg(plain, key.toString(QKeySequence::NativeText));
}

void ShowDateWhole(QDateEdit* box) {
    box->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    box->setCalendarPopup(true);
    // The style's own width hint leaves the last digit under the arrow in some fonts.
    box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-000")) + Px(600));
}

QPushButton* NamedButton(const QString& caption, const char* name, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}
