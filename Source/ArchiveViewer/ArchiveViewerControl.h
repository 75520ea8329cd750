#pragma once

#include "DevSys/task_.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

class ArchiveWindow;
class QAction;
class QMenu;
class QWidget;

// Where the main window meets the archive window: "Открыть архив..." in its
// menu, the window after a download, and the channel list that names the
// units and scales of downloaded archives. Main thread only.
class ArchiveViewerControl : public QObject {
    Q_OBJECT
public:
    // Puts the item into menu before the item before; the window belongs
    // to owner. dir() is where the downloads are saved.
    ArchiveViewerControl(QWidget* owner, QMenu* menu, QAction* before, std::function<std::string()> dir);

    QAction* Action() const { return action_; }
    // Created on first use.
    ArchiveWindow& Window();

    void SetChanals(const ModbusChanals& chanals) { chanals_ = chanals; }
    // A download, saved as source (its own copy) and "archive.txt" in dir().
    void ShowDownload(const uint8_t* begin, const uint8_t* end, const std::string& source);

private:
    void ChooseFile();

    QWidget* owner_;
    QAction* action_;
    std::function<std::string()> dir_;
    ModbusChanals chanals_;
    ArchiveWindow* window_ = nullptr;
};
