#pragma once

#include "app/Startup.h"

#include <QMainWindow>

class Database;
class ServerControl;

// The main window: table map, toolbar and history list.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(Database& db, const DataFolders& folders, ServerControl& server, QWidget* parent = nullptr);
    ~MainWindow() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Database& db_;
    DataFolders folders_;
    ServerControl& server_;
};
