#pragma once

#include "app/Startup.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>

class Database;
class OrderWindow;
class QLabel;
class QMenu;
class QScrollArea;
class ServerControl;
class SettingsStore;
class TableMap;
class TileWidget;

// The main window: the toolbar band, the history panel on the left and one tile per dining table.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(Database& db, const DataFolders& folders, ServerControl& server, QWidget* parent = nullptr);
    ~MainWindow() override;

    TableMap& tables() { return *tables_; }
    SettingsStore& settings() { return *settings_; }
    OrderWindow* orderWindow() const;
    TileWidget* tile(int index) const { return tiles_.value(index); }

    // The toolbar and pop-up actions.
    void refreshTiles();
    void openTable(int index);
    void settleAndFreeSelected();
    void startTransfer();
    // Hides every tile, then shows one per listed table with its caption (after the table list changed).
    void rebuildTiles();
    // Places the tiles by the flow rule for the current window width.
    void flowTiles();

    static const QStringList& ToolbarCaptions();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildToolbar();
    QWidget* buildTileArea();
    void showSlots();
    void showSelection(int index);
    void runToolbarItem(int item);
    void showTilePopup(const QPoint& globalPos);
    bool closeOrderWindow();
    void reportFailure(const QString& what, const QString& why);

    Database& db_;
    DataFolders folders_;
    ServerControl& server_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<TableMap> tables_;
    QList<TileWidget*> tiles_;
    QWidget* tileArea_ = nullptr; // Picture4
    QScrollArea* tileScroll_ = nullptr;
    QWidget* historyPanel_ = nullptr;
    QMenu* tileMenu_ = nullptr; // mu1
    QPointer<OrderWindow> orderWindow_;
};
