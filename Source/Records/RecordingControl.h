#pragma once

#include "DevSys/task_.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QWidget;
class RecordFile;

// "Запись в файл": the menu item that switches the recording of the table's
// readings on and off, the status-bar mark that shows it is on, and the
// current file, "Records/<address>_<yyyy-mm-dd_hh-mm-ss>.csv" in the folder
// dir() names. A new address or channel list starts a new file. Main thread
// only.
class RecordingControl : public QObject {
    Q_OBJECT
public:
    // Puts the item into menu before the item before, and the mark at the
    // end of statusBar (a widget with a box layout).
    RecordingControl(QMenu* menu, QAction* before, QWidget* statusBar, std::function<std::string()> dir);
    ~RecordingControl() override;

    QAction* Action() const { return action_; }
    // The file being written; empty when the recording is off or waits for
    // the channel list.
    std::string Path() const;

    // What the polling reports: the instrument's channel list, and a reading.
    void SetChanals(int address, const ModbusChanals& chanals);
    void OnValue(uint32_t number, double value);

private:
    void Switch(bool on);
    void StartFile();
    void ShowState();

    QWidget* owner_;
    QAction* action_;
    QLabel* mark_;
    std::function<std::string()> dir_;
    int address_ = -1;
    ModbusChanals chanals_;
    std::unique_ptr<RecordFile> file_;
};
