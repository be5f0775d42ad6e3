#pragma once

#include <QLabel>

// A one-line label whose font shrinks, from its designed size down to a floor, until the whole text fits
// its width: a long table name stays whole instead of being cut, and a short one keeps the designed size.
// Its height stays that of the designed size, so the layout around it never moves.
class FittedLabel : public QLabel {
    Q_OBJECT
public:
    FittedLabel(const QFont& designedFont, double smallestPointSize, QWidget* parent = nullptr);

    void showText(const QString& text);

private:
    void resizeEvent(QResizeEvent* event) override;
    void fit();

    QFont designedFont_;
    double smallestPointSize_;
};
