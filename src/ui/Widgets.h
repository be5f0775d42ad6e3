#pragma once

#include <QMessageBox>
#include <QString>

class QDateEdit;
class QKeySequence;
class QPushButton;

class QWidget;

// Sizes in the program's layouts are given in twips; 15 twips are one pixel at 96 dpi.
constexpr int Px(int twips) {
    return (twips + 7) / 15;
}

inline const QString kProgramTitle = QStringLiteral("澄槿餐饮点餐收银软件");
inline const QString kHintTitle = QStringLiteral("提示");

// Gives an input control the flat one-pixel silver (0xC0C0C0) border. Framing twice changes nothing.
void FrameControl(QWidget* control);
bool IsFramed(const QWidget* control);

// A message box with an OK button, titled "提示" (or the program title).
void ShowMessage(QWidget* parent, const QString& text, const QString& title = kHintTitle);

// A question with OK and Cancel (or Yes and No) and a warning icon; true when confirmed.
bool AskOkCancel(QWidget* parent, const QString& text, const QString& title = kHintTitle);
bool AskYesNo(QWidget* parent, const QString& text, const QString& title = kHintTitle);

// Places a top-level window in the middle of its screen's free area, no larger than that area;
// yOffsetPx moves it up.
void CenterOnScreen(QWidget* window, int yOffsetPx = 0);

// A push button with an object name that Enter in a text box never presses by surprise.
QPushButton* NamedButton(const QString& caption, const char* name, QWidget* parent);

// A date box showing "yyyy-MM-dd" with its calendar, wide enough for the whole date.
void ShowDateWhole(QDateEdit* box);

// A tooltip naming the key that does the same: "结账离开 (F3)". Spaces in the caption ("保  存") go.
QString CaptionWithKey(const QString& caption, const QKeySequence& key);

// Caps a top-level window that has grown past its screen's free area and moves it back inside.
void KeepOnScreen(QWidget* window);
