#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QSize>
#include <QStringList>
#include <QTimer>
#include <functional>

// A message box as the answerer saw it before answering.
struct ShownMessage {
    QString title;
    QString text;
    QSize size; // of the box as shown
};

// Answers every message box that opens while it lives: the first ones with the given buttons in order,
// any later one (or one without the asked-for button) with OK. It keeps the title and text of each box.
// It polls from its own timer, so boxes opened inside nested event loops are answered too, and it owns
// everything it touches: once destroyed, nothing of it runs.
class MessageBoxAnswerer : public QObject {
public:
    explicit MessageBoxAnswerer(QList<QMessageBox::StandardButton> answers = {})
        : answers_(std::move(answers)) {
        connect(&timer_, &QTimer::timeout, this, &MessageBoxAnswerer::answerOpenBox);
        timer_.start(5);
    }
    ~MessageBoxAnswerer() override { timer_.stop(); }

    const QList<ShownMessage>& shown() const { return shown_; }
    QStringList texts() const {
        QStringList texts;
        for (const ShownMessage& message : shown_)
            texts.append(message.text);
        return texts;
    }
    // The text of the first box answered; empty while none has been.
    QString firstText() const { return shown_.isEmpty() ? QString() : shown_.first().text; }

private:
    static QMessageBox* openBox() {
        if (auto* modal = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            return modal;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                return box;
        return nullptr;
    }

    void answerOpenBox() {
        QMessageBox* box = openBox();
        if (!box)
            return;
        shown_.append({box->windowTitle(), box->text(), box->size()});
        const QMessageBox::StandardButton answer =
            answers_.isEmpty() ? QMessageBox::Ok : answers_.takeFirst();
        if (QAbstractButton* button = box->button(answer))
            button->click();
        else
            box->done(QMessageBox::Ok);
    }

    QList<QMessageBox::StandardButton> answers_;
    QList<ShownMessage> shown_;
    QTimer timer_;
};

// Runs the action and answers the message boxes it shows with OK: "text|title" of the first, empty when
// none was shown.
inline QString MessageShownBy(const std::function<void()>& action) {
    const MessageBoxAnswerer answerer;
    action();
    if (answerer.shown().isEmpty())
        return {};
    const ShownMessage& first = answerer.shown().first();
    return first.text + QLatin1Char('|') + first.title;
}
