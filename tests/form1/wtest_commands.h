#pragma once
// What the tests of the main window's commands share: a user that answers
// the commands' modal windows from a script, the window in its program
// folder, and the engine's queued tasks taken out for a look.
#include "form1/QueuedTasks.h"
#include "EngineTestSupport.h"

#include "Application/ConsolePrint.h"
#include "DevSys/TransferManage.h"
#include "DevSys/task_.h"
#include "ProgramFiles.h"
#include "Unit1.h"
#include "VCLUtils/MySynchronize.h"
#include "uFormOpros.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace commands_test {

// One modal window as the script met it.
struct Seen {
    std::string kind; // "input", "box", "search", "unexpected"
    std::string caption;
    std::string text;    // the prompt or the message
    std::string initial; // the prompt's initial text
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers the modal windows that open, one step each, in order; a window
// the script does not expect is recorded and closed, so nothing hangs.
class ModalScript {
public:
    // The newest script answers; an older one rests until it is the newest
    // again.
    ModalScript() : previous_(Active())
    {
        Active() = this;
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }

    // An input prompt: OK with the text, or Cancel.
    ModalScript& Enter(const std::string& text) { return Input(text, true); }
    ModalScript& Cancel() { return Input(std::string(), false); }
    // A message box: OK.
    ModalScript& Ok()
    {
        steps_.push_back([this](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box)
                return Unexpected(w);
            Seen s{"box", box->windowTitle().toStdString(), box->text().toStdString(), "", box->icon(),
                   box->standardButtons()};
            seen_.push_back(s);
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->done(QMessageBox::Ok);
            return true;
        });
        return *this;
    }
    // The search's progress window: "Прервать" once finished() holds, or
    // after a generous deadline that only keeps a failing test from hanging.
    ModalScript& InterruptSearchWhen(std::function<bool()> finished)
    {
        steps_.push_back([this, finished, timer = std::make_shared<QElapsedTimer>()](QWidget* w) {
            auto* opros = dynamic_cast<TFormOpros*>(w);
            if (!opros)
                return Unexpected(w);
            if (!timer->isValid()) {
                timer->start();
                seen_.push_back(Seen{"search", "", "", "", {}, {}});
            }
            if (!finished() && timer->elapsed() < 60000)
                return false;
            opros->Button1->click();
            return true;
        });
        return *this;
    }

    ~ModalScript() { Active() = previous_; }
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    const std::vector<Seen>& Result() const { return seen_; }
    bool Finished() const { return steps_.empty(); }

private:
    typedef std::function<bool(QWidget*)> Step; // true: done with the window

    ModalScript& Input(const std::string& text, bool ok)
    {
        steps_.push_back([this, text, ok](QWidget* w) {
            auto* dlg = qobject_cast<QInputDialog*>(w);
            if (!dlg)
                return Unexpected(w);
            seen_.push_back(Seen{"input", dlg->windowTitle().toStdString(), dlg->labelText().toStdString(),
                                 dlg->textValue().toStdString(), {}, {}});
            if (ok) {
                dlg->setTextValue(QString::fromStdString(text));
                dlg->accept();
            } else {
                dlg->reject();
            }
            return true;
        });
        return *this;
    }

    bool Unexpected(QWidget* w)
    {
        Seen s{"unexpected", w->windowTitle().toStdString(), "", "", {}, {}};
        if (auto* box = qobject_cast<QMessageBox*>(w))
            s.text = box->text().toStdString();
        seen_.push_back(s);
        steps_.clear();
        Close(w);
        return false;
    }

    static void Close(QWidget* w)
    {
        if (auto* opros = dynamic_cast<TFormOpros*>(w))
            opros->Button1->click();
        else if (auto* dlg = qobject_cast<QDialog*>(w))
            dlg->reject();
        else
            w->close();
    }

    static ModalScript*& Active()
    {
        static ModalScript* active = nullptr;
        return active;
    }

    void Poll()
    {
        if (Active() != this)
            return;
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible())
            return;
        if (steps_.empty()) {
            Unexpected(w);
            return;
        }
        // A step may clear the list (an unexpected window).
        const Step step = steps_.front();
        if (step(w) && !steps_.empty())
            steps_.pop_front();
    }

    ModalScript* const previous_;
    QTimer timer_;
    std::deque<Step> steps_;
    std::vector<Seen> seen_;
};

inline Seen Input(const std::string& caption, const std::string& prompt, const std::string& initial)
{
    return Seen{"input", caption, prompt, initial, {}, {}};
}

// ShowMessage's box: the program's title, no icon, OK only.
inline Seen Message(const std::string& text)
{
    return Seen{"box", "КАЛИСТ-8", text, "", QMessageBox::NoIcon, QMessageBox::Ok};
}

inline Seen InputError(const std::string& text)
{
    return Seen{"box", "Некорректный ввод!", text, "", QMessageBox::Critical, QMessageBox::Ok};
}

inline bool operator==(const Seen& a, const Seen& b)
{
    return a.kind == b.kind && a.caption == b.caption && a.text == b.text && a.initial == b.initial &&
           (a.kind != "box" || (a.icon == b.icon && a.buttons == b.buttons));
}

inline std::ostream& operator<<(std::ostream& os, const Seen& s)
{
    return os << s.kind << " [" << s.caption << "] \"" << s.text << "\" initial \"" << s.initial << "\" icon "
              << s.icon << " buttons " << s.buttons.toInt();
}

// The kinds of the queued tasks, in queue order, after stopping the worker.
inline std::vector<std::string> QueuedTaskKinds()
{
    TransferManagerT::Instance().StopThread();
    std::vector<std::string> kinds;
    for (const PMyAbstructTransfer& t : TakeQueuedTasks()) {
        MyAbstructTransfer* p = t.get();
        if (dynamic_cast<DevTask::InitializeDevice*>(p))
            kinds.push_back("InitializeDevice");
        else if (dynamic_cast<DevTask::ReadChanal*>(p))
            kinds.push_back("ReadChanal");
        else if (dynamic_cast<DevTask::SearchSlave*>(p))
            kinds.push_back("SearchSlave");
        else if (dynamic_cast<DevTask::Send*>(p))
            kinds.push_back("Send");
        else if (dynamic_cast<DevTask::ReadArchive*>(p))
            kinds.push_back("ReadArchive");
        else
            kinds.push_back("?");
    }
    return kinds;
}

inline ModbusChanalTag Chanal(uint32_t number, uint32_t quantity) { return ModbusChanalTag{number, quantity, 2, 3}; }

// A fresh program folder for every test: no settings files, a new window.
// The engine goes with the window.
class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The engine's trace would bury the test output.
        SetConsoleSink([](const std::string&) {});
        for (const char* name : {"form1.ini", "config.ini", "comm.ini", "archive.bin", "archive.txt"})
            std::remove((GetExeDir() + name).c_str());
        for (const char* folder : {"Archives", "Records"})
            std::filesystem::remove_all(GetExeDir() + folder);
    }

    void TearDown() override
    {
        if (TransferManagerT::Exists())
            TransferManagerT::Instance().StopThread();
        form_.reset();
        TransferManagerT::DeleteInstance();
        SetConsoleSink(nullptr);
    }

    TForm1& Form()
    {
        if (!form_)
            form_.reset(new TForm1);
        return *form_;
    }

    std::unique_ptr<TForm1> form_;
};

} // namespace commands_test
