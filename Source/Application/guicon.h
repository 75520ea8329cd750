#pragma once

#include <boost/noncopyable.hpp>

#include <QPlainTextEdit>
#include <QTimer>

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace Loki {
template <class T>
struct CreateUsingNew;
}

namespace my {
class StdoutRouter;
}

// The debug console's window: read-only monospace text whose rows are the
// log. It keeps the newest kMaxRows rows; the oldest go first. Lines arrive
// in batches on a short timer, so a flood of log lines costs one insertion
// and one redraw per batch; the view follows new rows only while it is
// scrolled to the bottom, and the user's selection stays where it was.
// Closing it only hides it.
//
// The rows themselves live in a plain ring of strings. The text view lays
// out every row it receives and every row that moves to its top, which costs
// tens of microseconds a row; so it is fed only while the window is shown,
// and a window that was hidden while rows arrived is refilled when it is
// shown again. Hidden, which is how the console spends most of its life, a
// row costs a string move.
class ConsoleWindow : public QPlainTextEdit {
public:
    static constexpr int kMaxRows = 9999;
    static constexpr int kBatchMs = 50;

    explicit ConsoleWindow(QWidget* parent = nullptr);

    // Takes its lines from the router from now on (nullptr: no source).
    void Attach(my::StdoutRouter* router);
    // Any thread: asks the main thread for the next batch.
    void RequestBatch();
    // Main thread: shows what the router holds now; with
    // includingUnfinished, also each thread's unfinished line.
    void Flush(bool includingUnfinished = false);

    void AppendLines(const std::vector<std::string>& lines);
    // The rows, oldest first, as UTF-8.
    std::vector<std::string> Rows() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ShowNewRows(const QString& text, int added);
    void RefillView();

    QTimer batchTimer_;
    my::StdoutRouter* router_ = nullptr;
    std::deque<QString> rows_;
    // The view holds exactly rows_; false once rows arrived while hidden.
    bool viewCurrent_ = true;
    bool viewHasRows_ = false;
};

// Writes the rows as the console's snapshot: Windows-1251, CRLF, trailing
// blanks, NULs and tabs cut, rows left empty skipped, leading blanks kept.
// When the file cannot be created the system's text of the error is shown
// (ShowLastWinError without prefix) and the result is false.
bool WriteConsoleRows(const std::vector<std::string>& rows, const std::string& path);

// The program's debug console, one per process, created on first use and
// kept until the process ends. Needs a QApplication; main thread only.
// Open routes std::cout and ConsolePrint into the console window (each line
// is echoed to the original standard output) and catches the Unix signals
// (Ctrl+C and Ctrl+\ print a notice; SIGTERM and SIGHUP ask the program to
// close, see my::SetCloseRequestedHandler). At shutdown SaveAndArchive keeps
// the text in "Log/log.rar" in the program's data folder (GetDataDir()).
class GUIConT : boost::noncopyable {
public:
    // The console; the first call creates it, which opens it.
    static GUIConT& Instance();

    // Opens the console unless it is open already.
    void Open();
    bool IsOpen() const { return isOpen_; }

    // Saves the console text to "Log/STDOUT.LOG" and moves it into
    // "Log/log.rar" as <year>/<MM_Month>/<day>/<h_m_s>.log. Nothing if the
    // console was never opened.
    void SaveAndArchive();
    // Writes the console's rows (at most 9999) to the file.
    void DumpConsoleToFile(const std::string& path);

    // The console window; nullptr before Open and after FreeConsole.
    QWidget* Window() const;
    // The "Консоль" command: opens the console if needed, then shows the
    // hidden window or hides the shown one.
    void ToggleWindow();
    // Keeps the console window with the main window (above it, in its
    // group) and hides it. The main window does not own it: the console
    // outlives the main window, whose deletion comes before SaveAndArchive.
    void AttachToMainWindow(QWidget* mainWindow);
    // At the very end, after SaveAndArchive: std::cout and ConsolePrint go
    // to the original standard output again and the window is destroyed.
    void FreeConsole();

private:
    friend struct Loki::CreateUsingNew<GUIConT>;
    GUIConT();
    ~GUIConT();

    bool isOpen_ = false;
    std::string logDir_;
    std::string stdoutLogPath_;
    std::string archiveName_;
    ConsoleWindow* window_ = nullptr;
    std::unique_ptr<my::StdoutRouter> router_;
};
