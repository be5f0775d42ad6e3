#include "TextFit.h"

#include "print/BillLayout.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QTableView>
#include <QTextDocument>
#include <QToolButton>
#include <algorithm>

namespace {

constexpr int kTallEnough = 1 << 20;

QString Describe(const QWidget* widget) {
    QStringList names;
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (!w->objectName().isEmpty())
            names.prepend(w->objectName());
        if (w->isWindow())
            break;
    }
    return names.join(QLatin1Char('/')) +
           QStringLiteral(" (%1)").arg(QString::fromLatin1(widget->metaObject()->className()));
}

// Appends a finding when the text needs more room than it has.
void Compare(const QWidget* widget, const QString& what, const QString& text, QSize needed, QSize room,
             QStringList& found) {
    if (needed.width() <= room.width() && needed.height() <= room.height())
        return;
    found.append(QStringLiteral("%1%2: \"%3\" needs %4x%5, has %6x%7")
                     .arg(Describe(widget), what, text)
                     .arg(needed.width())
                     .arg(needed.height())
                     .arg(room.width())
                     .arg(room.height()));
}

QString PlainLabelText(const QLabel* label) {
    const QString text = label->text();
    const bool rich = label->textFormat() == Qt::RichText ||
                      (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
    if (!rich)
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

void CheckLabel(const QLabel* label, QStringList& found) {
    const QString text = PlainLabelText(label);
    if (text.isEmpty())
        return;
    const QFontMetrics metrics = label->fontMetrics();
    const int margin = label->margin();
    QRect room = label->contentsRect().adjusted(margin, margin, -margin, -margin);
    // A framed label without an indent of its own keeps half an "x" beside its text, less its margin.
    int indent = label->indent();
    if (indent < 0 && label->frameWidth() > 0)
        indent = metrics.horizontalAdvance(QLatin1Char('x')) / 2 - margin;
    if (indent > 0)
        room.setWidth(room.width() - indent);
    const int flags = Qt::TextExpandTabs | (label->wordWrap() ? Qt::TextWordWrap : 0);
    // Wrapped text is laid out in the label's width; a word longer than the width still overflows it.
    const QSize needed =
        label->wordWrap() ? metrics.boundingRect(QRect(0, 0, room.width(), kTallEnough), flags, text).size()
                          : metrics.size(flags, text);
    Compare(label, QString(), text, needed, room.size(), found);
}

QSize ButtonTextSize(const QAbstractButton* button) {
    QSize size = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
    if (!button->icon().isNull())
        size.rwidth() += button->iconSize().width() + 4;
    return size;
}

QStyleOptionButton ButtonOption(const QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    if (const auto* push = qobject_cast<const QPushButton*>(button)) {
        if (push->isFlat())
            option.features |= QStyleOptionButton::Flat;
        if (push->menu())
            option.features |= QStyleOptionButton::HasMenu;
        if (push->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
        if (push->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
    }
    return option;
}

void CheckButton(const QAbstractButton* button, QStringList& found) {
    if (button->text().isEmpty())
        return;
    QRect room;
    if (const auto* tool = qobject_cast<const QToolButton*>(button)) {
        QStyleOptionToolButton option;
        option.initFrom(tool);
        option.text = tool->text();
        option.toolButtonStyle = tool->toolButtonStyle();
        option.subControls = QStyle::SC_ToolButton;
        const int frame = tool->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, tool);
        room = tool->style()
                   ->subControlRect(QStyle::CC_ToolButton, &option, QStyle::SC_ToolButton, tool)
                   .adjusted(frame, frame, -frame, -frame);
    } else {
        const QStyleOptionButton option = ButtonOption(button);
        const QStyle::SubElement contents =
            qobject_cast<const QCheckBox*>(button)      ? QStyle::SE_CheckBoxContents
            : qobject_cast<const QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                                                        : QStyle::SE_PushButtonContents;
        room = button->style()->subElementRect(contents, &option, button);
    }
    Compare(button, QString(), button->text(), ButtonTextSize(button), room.size(), found);
}

void CheckGroupBox(const QGroupBox* group, QStringList& found) {
    if (group->title().isEmpty())
        return;
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.lineWidth = 1;
    option.textAlignment = group->alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (group->isFlat())
        option.features |= QStyleOptionFrame::Flat;
    const QRect room =
        group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group) &
        group->rect();
    Compare(group, QStringLiteral(" title"), group->title(),
            group->fontMetrics().size(Qt::TextShowMnemonic, group->title()), room.size(), found);
}

void CheckLineEdit(const QLineEdit* edit, const QStringList& longNames, QStringList& found) {
    const QString text = edit->text().isEmpty() ? edit->placeholderText() : edit->displayText();
    if (text.isEmpty() || longNames.contains(text))
        return;
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth =
        edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    option.state |= QStyle::State_Sunken;
    // The line edit keeps two pixels beside the text and one above and below it.
    const QRect room = edit->style()
                           ->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                           .marginsRemoved(edit->textMargins())
                           .adjusted(2, 1, -2, -1);
    const QFontMetrics metrics = edit->fontMetrics();
    // One more pixel for the caret after the last character.
    const QSize needed(metrics.horizontalAdvance(text) + 1, metrics.height());
    Compare(edit, QString(), text, needed, room.size(), found);
}

void CheckComboBox(const QComboBox* combo, QStringList& found) {
    if (combo->isEditable() || combo->currentText().isEmpty())
        return; // an editable box shows its text in its own line edit
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = false;
    option.frame = combo->hasFrame();
    option.currentText = combo->currentText();
    const QRect room =
        combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
    Compare(combo, QString(), combo->currentText(), combo->fontMetrics().size(0, combo->currentText()),
            room.size(), found);
}

// A name, or a name after its number ("0123456789 张三…").
bool HoldsLongName(const QString& text, const QStringList& longNames) {
    return std::any_of(longNames.begin(), longNames.end(), [&](const QString& name) {
        return text == name || text.endsWith(QLatin1Char(' ') + name);
    });
}

void CheckHeader(const QTableView* view, QStringList& found) {
    const QHeaderView* header = view->horizontalHeader();
    if (!header->isVisible())
        return;
    for (int section = 0; section < header->count(); ++section) {
        if (header->isSectionHidden(section))
            continue;
        const QString text = view->model()->headerData(section, Qt::Horizontal, Qt::DisplayRole).toString();
        if (text.isEmpty())
            continue;
        QStyleOptionHeader option;
        option.initFrom(header);
        option.rect = QRect(header->sectionViewportPosition(section), 0, header->sectionSize(section),
                            header->height());
        option.text = text;
        option.section = section;
        option.textAlignment = header->defaultAlignment();
        // A section standing past the grid's right edge shows only its part inside: a heading read as
        // "后厨扌" is cut, whether the column or the edge cuts it.
        const QRect room = header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header) &
                           QRect(0, 0, header->viewport()->width() - 1, header->height());
        if (room.isEmpty())
            continue;
        Compare(header, QStringLiteral(" section %1").arg(section), text, header->fontMetrics().size(0, text),
                room.size(), found);
    }
}

void CheckGrid(const QTableView* view, const QStringList& longNames, QStringList& found) {
    const QAbstractItemModel* model = view->model();
    if (!model)
        return;
    CheckHeader(view, found);
    const QRect viewport = view->viewport()->rect();
    // Without a horizontal scroll bar, a column reaching past the right edge is cut there.
    const bool scrollsSideways = view->horizontalScrollBar()->isVisible();
    const int textMargin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
        if (view->isRowHidden(row))
            continue;
        const int top = view->rowViewportPosition(row);
        const int bottom = top + view->rowHeight(row);
        if (bottom <= 0 || top >= viewport.height())
            continue;
        if (bottom > viewport.height())
            found.append(QStringLiteral("%1: row %2 is cut at the bottom (%3 of %4 pixels shown)")
                             .arg(Describe(view))
                             .arg(row)
                             .arg(viewport.height() - top)
                             .arg(bottom - top));
        for (int column = 0; column < model->columnCount(view->rootIndex()); ++column) {
            if (view->isColumnHidden(column))
                continue;
            const QModelIndex index = model->index(row, column, view->rootIndex());
            const QString text = index.data(Qt::DisplayRole).toString();
            if (text.isEmpty() ||
                (HoldsLongName(text, longNames) && index.data(Qt::ToolTipRole).toString() == text))
                continue;
            QRect cell = view->visualRect(index);
            if (!scrollsSideways)
                cell &= QRect(viewport.left(), cell.top(), viewport.width(), cell.height());
            const QVariant fontData = index.data(Qt::FontRole);
            const QFontMetrics metrics(fontData.isValid() ? fontData.value<QFont>() : view->font());
            Compare(view, QStringLiteral(" cell %1,%2").arg(row).arg(column), text, metrics.size(0, text),
                    cell.adjusted(textMargin, 0, -textMargin, 0).size(), found);
        }
    }
}

bool Shown(const QWidget* widget) {
    return widget->isVisible() && !widget->visibleRegion().isEmpty();
}

} // namespace

QStringList HiddenText(const QWidget* window, const QStringList& longNames) {
    QStringList found;
    const QList<QWidget*> widgets = window->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        if (widget->window() != window || !Shown(widget))
            continue;
        widget->ensurePolished();
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            CheckLabel(label, found);
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            CheckButton(button, found);
        else if (const auto* group = qobject_cast<const QGroupBox*>(widget))
            CheckGroupBox(group, found);
        else if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
            CheckLineEdit(edit, longNames, found);
        else if (const auto* combo = qobject_cast<const QComboBox*>(widget))
            CheckComboBox(combo, found);
        else if (const auto* grid = qobject_cast<const QTableView*>(widget))
            CheckGrid(grid, longNames, found);
    }
    return found;
}

QStringList OverlappingTexts(const ReceiptDocument& document) {
    constexpr double kTouchingMm = 0.01;
    QStringList found;
    QList<ReceiptItem> texts;
    for (const ReceiptItem& item : document.items())
        if (item.kind == ReceiptItem::Kind::Text && !item.text.isEmpty())
            texts.append(item);
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const ReceiptItem& a = texts.at(i);
        const double aRight = a.xMm + TextWidthMm(a.font, a.text);
        for (qsizetype j = i + 1; j < texts.size(); ++j) {
            const ReceiptItem& b = texts.at(j);
            // Lines set one under the other touch; a hundredth of a millimetre is rounding.
            const bool sameHeight =
                a.yMm + kTouchingMm < b.yMm + b.heightMm && b.yMm + kTouchingMm < a.yMm + a.heightMm;
            if (sameHeight && a.xMm < b.xMm + TextWidthMm(b.font, b.text) && b.xMm < aRight)
                found.append(QStringLiteral("\"%1\" at %2,%3 mm runs into \"%4\" at %5,%6 mm")
                                 .arg(a.text)
                                 .arg(a.xMm)
                                 .arg(a.yMm)
                                 .arg(b.text)
                                 .arg(b.xMm)
                                 .arg(b.yMm));
        }
    }
    return found;
}
