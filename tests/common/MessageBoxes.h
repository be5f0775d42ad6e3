#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QTimer>
#include <functional>

// Runs the action and answers the message box it shows: "text|title", empty when none was shown.
inline QString MessageShownBy(const std::function<void()>& action) {
    QString shown;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text() + QLatin1Char('|') + box->windowTitle();
            box->accept();
        }
    });
    timer.start(0);
    action();
    return shown;
}
