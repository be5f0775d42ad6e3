#include "main/MainWindow.h"

#include "app/ServerControl.h"

#include <QApplication>
#include <QCloseEvent>

MainWindow::MainWindow(Database& db, const DataFolders& folders, ServerControl& server, QWidget* parent)
    : QMainWindow(parent), db_(db), folders_(folders), server_(server)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("澄槿餐饮点餐收银软件 V2.0"));
}

MainWindow::~MainWindow() = default;

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    server_.stop();
    QApplication::quit();
}
