#include "Application/guicon.h"

#include "Application/ConsolePrint.h"
#include "Application/StdoutRouter.h"
#include "Application/UnixSignals.h"
#include "Excpt/MyAssert.h"
#include "Excpt/MyExeption.h"
#include "ProgramFiles.h"
#include "VCLUtils/Cp1251.h"
#include "VCLUtils/MyFileCtrl.h"
#include "VCLUtils/MyStrUtils.h"

#include <loki/Singleton.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFontDatabase>
#include <QScrollBar>
#include <QShowEvent>
#include <QWindow>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace {

// A console row as the screen shows it: a carriage return sends the cursor
// back to the first column, so later text overwrites earlier text. Qt would
// turn CR and the Unicode separators into new blocks; a row stays one block.
QString RowText(const std::string& line)
{
    QString row = QString::fromStdString(line);
    if (row.contains(QLatin1Char('\r'))) {
        const QStringList pieces = row.split(QLatin1Char('\r'));
        row.clear();
        for (const QString& piece : pieces)
            row = piece + row.mid(piece.size());
    }
    row.replace(QChar::LineSeparator, QLatin1Char(' '));
    row.replace(QChar::ParagraphSeparator, QLatin1Char(' '));
    return row;
}

std::string TrimRowEnd(const std::string& row)
{
    const auto end = row.find_last_not_of(std::string(" \t\0", 3));
    return end == std::string::npos ? std::string() : row.substr(0, end + 1);
}

my::StdoutRouter* consoleRouter = nullptr;

// Straight to the descriptor: a write held up by a reader that does not read
// must leave nothing behind in stdio's buffer for the exit to flush.
bool WriteToStandardOutput(const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(STDOUT_FILENO, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void PrintToConsole(const std::string& text)
{
    if (consoleRouter)
        consoleRouter->Write(text);
}

bool wasCalledOnce = false;

} // namespace

ConsoleWindow::ConsoleWindow(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setMaximumBlockCount(kMaxRows);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Closing the console must never end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    const QFontMetrics fm(font());
    setTabStopDistance(fm.horizontalAdvance(QLatin1Char(' ')) * 8);
    resize(fm.horizontalAdvance(QLatin1Char('0')) * 82 + verticalScrollBar()->sizeHint().width(),
           fm.lineSpacing() * 25);

    batchTimer_.setSingleShot(true);
    batchTimer_.setInterval(kBatchMs);
    connect(&batchTimer_, &QTimer::timeout, this, [this] { Flush(); });
}

void ConsoleWindow::Attach(my::StdoutRouter* router) { router_ = router; }

void ConsoleWindow::RequestBatch()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!batchTimer_.isActive())
                batchTimer_.start();
        },
        Qt::QueuedConnection);
}

void ConsoleWindow::Flush(bool includingUnfinished)
{
    batchTimer_.stop();
    if (router_)
        AppendLines(includingUnfinished ? router_->TakeAllLines() : router_->TakeLines());
}

void ConsoleWindow::AppendLines(const std::vector<std::string>& lines)
{
    if (lines.empty())
        return;
    // Only the rows that can stay are worth converting.
    const size_t first = lines.size() > size_t(kMaxRows) ? lines.size() - kMaxRows : 0;
    const int added = int(lines.size() - first);
    for (size_t i = first; i < lines.size(); ++i)
        rows_.push_back(RowText(lines[i]));
    while (rows_.size() > size_t(kMaxRows))
        rows_.pop_front();

    if (!isVisible()) {
        viewCurrent_ = false;
        return;
    }
    if (!viewCurrent_) {
        RefillView();
        return;
    }
    QString text;
    for (auto it = rows_.end() - added; it != rows_.end(); ++it) {
        if (viewHasRows_ || it != rows_.end() - added)
            text += QLatin1Char('\n');
        text += *it;
    }
    ShowNewRows(text, added);
}

void ConsoleWindow::ShowNewRows(const QString& text, int added)
{
    const int rowsBefore = viewHasRows_ ? document()->blockCount() : 0;
    QScrollBar* bar = verticalScrollBar();
    const bool follow = bar->value() == bar->maximum();
    const int oldValue = bar->value();

    // A cursor of our own: the view's cursor and selection stay as they are.
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    viewHasRows_ = true;

    if (follow) {
        bar->setValue(bar->maximum());
    } else {
        // Rows dropped at the top would otherwise pull the text the user is
        // reading upwards.
        const int dropped = rowsBefore + added - document()->blockCount();
        bar->setValue(std::max(0, oldValue - dropped));
    }
}

void ConsoleWindow::RefillView()
{
    QStringList all;
    all.reserve(qsizetype(rows_.size()));
    for (const QString& row : rows_)
        all.append(row);
    setPlainText(all.join(QLatin1Char('\n')));
    viewHasRows_ = !rows_.empty();
    viewCurrent_ = true;
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

std::vector<std::string> ConsoleWindow::Rows() const
{
    std::vector<std::string> rows;
    rows.reserve(rows_.size());
    for (const QString& row : rows_)
        rows.push_back(row.toStdString());
    return rows;
}

void ConsoleWindow::showEvent(QShowEvent* event)
{
    QPlainTextEdit::showEvent(event);
    if (!viewCurrent_)
        RefillView();
}

void ConsoleWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}

bool WriteConsoleRows(const std::vector<std::string>& rows, const std::string& path)
{
    errno = 0;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        ShowLastWinError("");
        return false;
    }
    for (const auto& row : rows) {
        const std::string text = TrimRowEnd(row);
        if (text.empty())
            continue;
        const std::string bytes = my::Utf8ToCp1251(text) + "\r\n";
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    }
    std::fclose(f);
    return true;
}

GUIConT& GUIConT::Instance()
{
    return Loki::SingletonHolder<GUIConT, Loki::CreateUsingNew, Loki::NoDestroy, Loki::SingleThreaded>::Instance();
}

GUIConT::GUIConT()
{
    MY_ASSERT_M(!wasCalledOnce, "!wasCalledOnce");
    wasCalledOnce = true;
    Open();
}

GUIConT::~GUIConT() = default;

void GUIConT::Open()
{
    if (isOpen_)
        return;
    MY_ASSERT_M(qobject_cast<QApplication*>(QCoreApplication::instance()), "QApplication::instance()");
    if (logDir_.empty()) {
        logDir_ = GetDataDir() + "Log";
        stdoutLogPath_ = logDir_ + "/STDOUT.LOG";
        archiveName_ = "log.rar";
        EnsureDirectory(logDir_);
    }

    window_ = new ConsoleWindow;
    // The title a console window gets from the program that allocates it.
    window_->setWindowTitle(QString::fromStdString(GetExeDir() + GetExeName()));
    ConsoleWindow* const window = window_;
    std::cout.flush();
    std::fflush(stdout);
    router_.reset(new my::StdoutRouter(std::cout, [window] { window->RequestBatch(); }, &WriteToStandardOutput));
    window_->Attach(router_.get());
    consoleRouter = router_.get();
    SetConsoleSink(&PrintToConsole);

    my::InstallUnixSignalHandlers();
    std::cout << "GUI CON initialized.\n" << std::flush;
    isOpen_ = true;
}

void GUIConT::SaveAndArchive()
{
    if (!isOpen_)
        return;
    DumpConsoleToFile(stdoutLogPath_);
    // One reading of the clock, so that the date and the time of day always
    // belong together (also at midnight).
    const QDateTime now = QDateTime::currentDateTime();
    MoveIntoRarArchive(stdoutLogPath_, DatePath(now) + "/" + TimeStem(now) + ".log", archiveName_);
}

void GUIConT::DumpConsoleToFile(const std::string& path)
{
    if (!isOpen_ || !window_)
        return;
    const std::string dir = my::ExtractFileDir(path);
    if (!dir.empty())
        EnsureDirectory(dir);
    window_->Flush(true);
    WriteConsoleRows(window_->Rows(), path);
}

QWidget* GUIConT::Window() const { return window_; }

void GUIConT::ToggleWindow()
{
    Open();
    if (!window_)
        return;
    if (window_->isVisible()) {
        window_->hide();
    } else {
        window_->showNormal();
        window_->raise();
    }
}

void GUIConT::AttachToMainWindow(QWidget* mainWindow)
{
    if (!window_ || !mainWindow)
        return;
    window_->hide();
    window_->winId();
    QWindow* owner = mainWindow->window()->windowHandle();
    if (window_->windowHandle() && owner)
        window_->windowHandle()->setTransientParent(owner);
}

void GUIConT::FreeConsole()
{
    if (!window_)
        return;
    SetConsoleSink(nullptr);
    consoleRouter = nullptr;
    window_->Attach(nullptr);
    router_.reset();
    delete window_;
    window_ = nullptr;
}
