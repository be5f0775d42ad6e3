#include "ui/FittedLabel.h"

#include <QFontMetrics>

namespace {
constexpr double kStepPt = 0.5;
}

FittedLabel::FittedLabel(const QFont& designedFont, double smallestPointSize, QWidget* parent)
    : QLabel(parent), designedFont_(designedFont), smallestPointSize_(smallestPointSize) {
    setFont(designedFont_);
    // The width comes from the layout, never from the text; the height is the designed line's.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setFixedHeight(QFontMetrics(designedFont_).height() + 2 * (margin() + frameWidth()));
}

void FittedLabel::showText(const QString& text) {
    setText(text);
    fit();
}

void FittedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fit();
}

void FittedLabel::fit() {
    const int room = contentsRect().width() - 2 * margin();
    QFont font = designedFont_;
    for (double size = designedFont_.pointSizeF(); size >= smallestPointSize_; size -= kStepPt) {
        font.setPointSizeF(size);
        if (QFontMetrics(font).horizontalAdvance(text()) <= room)
            break;
    }
    if (font != this->font())
        setFont(font);
}
