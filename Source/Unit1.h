#pragma once

#include "DevSys/TransferManage.h"
#include "DevSys/task_.h"
#include "ScreenUpdates/StatusFrames.h"

#include <QMainWindow>

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

class ArchiveViewerControl;
class QAction;
class QCloseEvent;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QWidget;
class RecordingControl;
class RepaintPacer;
class TFormChanal;
class TrendsControl;

namespace my {
class DrawGridCellManager;
class StringGrid;
} // namespace my

constexpr unsigned STATUS_PNLS_COUNT = 4;

// The main window: the served instrument's address, the link state, what the
// polling engine is doing, the channel table and the status bar. It only
// shows what the engine reports and what the device tasks hand it; its
// commands restart the engine's work. Main thread only, except Address().
class TForm1 : public QMainWindow, public DevTask::DeviceWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* owner = nullptr);
    // Stops the polling and saves the layout and the address. A failure to
    // save cannot leave a destructor; see ThrowDestructionError().
    ~TForm1() override;

    // The failure the last destructor caught while saving, thrown now (and
    // forgotten); nothing when there was none. The entry point calls it right
    // after deleting the window and writes the failure to the console.
    static void ThrowDestructionError();

    // The controls, under their designed names.
    QMenuBar* MainMenu1;
    QMenu* N8; // "Файл"
    QAction* N6;
    QMenu* N4; // "Настройки"
    QAction* N3;
    QMenu* N1; // "Инструменты"
    QAction* N5;
    QAction* N9;
    QAction* N7;
    QAction* N2;
    QAction* menuConsole;
    QMenu* PopupMenu1;
    QAction* menuShowDetail;

    QFrame* Panel1;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label2;
    QLabel* Label11;
    QFrame* Panel2;
    my::StringGrid* grd1;
    QWidget* panelStatus;
    QLabel* Panel9;
    QLabel* Panel10;
    QLabel* Panel11;
    QLabel* Panel12;

    // What the device tasks call. Address() runs on the worker.
    int32_t Address() const override;
    void UpdateChanalValue(unsigned nChanal, double value) override;
    void UpdateChanals(const ModbusChanals& chanals) override;
    void SaveArchive(const uint8_t* begin, const uint8_t* end) override;

    // Restart the polling: from the instrument's channel list, or with the
    // channels the table shows.
    void StartInitializeDevice();
    void StartReadChanals();

    static std::string FormatValue(double v);
    // The texts and values given to the window are shown once per frame,
    // at the next paced repaint (see ShowNextFrame).
    void SetStatusText(unsigned index, const std::string& text);
    QLabel* StatusPanel(unsigned index) const;
    int StatusPanelWidth(unsigned index) const;

    // The engine's signals.
    void OnReportState(unsigned code, const std::string& text);
    void OnNotifyTransmition(const TransmitionItemTag& item);

    // Shows the oldest frame of texts and values gathered; true when more
    // are waiting. The repaint pacer calls it before each repaint.
    bool ShowNextFrame();

    // Acts on the first activation only.
    void FormActivate();

    // The commands.
    void N6Click();
    void N3Click();
    void N5Click();
    void N9Click();
    void N7Click();
    void N2Click();
    void menuConsoleClick();
    void PopupMenu1Popup();
    void menuShowDetailClick();

signals:
    // The window has been closed: the program ends.
    void Closed();

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

    // Sets the address and shows it.
    void SetAddress(int32_t address);
    // The channel number that row 0 of a channel column shows.
    unsigned ChanalOfColumn(int col) const;
    // The column showing a channel; -1 when none does.
    int ColumnOfChanal(unsigned nChanal) const;
    // One ReadChanal per channel column, behind the queued work.
    void AddReadChanalTasks();
    // A single-channel window closes: its channel may get a new one.
    void ChanalFormClose(TFormChanal* form);

    std::atomic<int32_t> address_;
    std::array<QLabel*, STATUS_PNLS_COUNT> statusPanels_;
    // What the labels, panels and value cells are to show next.
    StatusFrames frames_;
    RepaintPacer* pacer_ = nullptr;
    std::unique_ptr<my::DrawGridCellManager> grdManager_;
    TReportStateSignal::Connection reportStateConnection_;
    TNotifyTransmitionSignal::Connection notifyTransmitionConnection_;
    // The open single-channel windows, by channel; at most one each.
    std::map<uint32_t, TFormChanal*> chanalForms_;
    // "Запись в файл" and its file; owned by the menu.
    RecordingControl* recording_ = nullptr;
    // "Открыть архив..." and the archive window; owned by the window.
    ArchiveViewerControl* archiveViewer_ = nullptr;
    // The channels' trends and "Тренды"; owned by the window.
    TrendsControl* trends_ = nullptr;
    // The address-search prompt's text, kept for the next search of the run.
    std::string searchRange_ = "1-127";
    bool wasActivated_ = false;

private:
    void CreateControls();
    void CreateMenus();
    QFrame* CreateTopBar();
    QFrame* CreateTableFrame();
    QWidget* CreateStatusBar();
    void ReadStatusPanelWidths();
    void PrepareTable();
    void ConnectGridManager();
    void SaveSettings();
    // The frame being gathered; a repaint will show it.
    StatusFrames::Frame& Frame();
    void ShowFrame(const StatusFrames::Frame& frame);
};

// The main window while it exists.
extern TForm1* Form1;
