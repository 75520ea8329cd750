#include "Application/UnixSignals.h"

#include "Excpt/MyAssert.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace {

// Windows' console event codes, as the handler receives them.
const unsigned long kCtrlCEvent = 0;
const unsigned long kCtrlBreakEvent = 1;

const int kCaughtSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

int signalPipe[2] = {-1, -1};
QPointer<QSocketNotifier> notifier;
std::function<void()> closeRequested;

// Async-signal-safe: one byte per signal into the pipe, nothing else.
void NoteSignal(int sig)
{
    const int savedErrno = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &b, 1);
    errno = savedErrno;
}

void EndAsUncaught(int sig)
{
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void Dispatch(int sig)
{
    switch (sig) {
    case SIGINT:
        ConsoleCtrlHandler(kCtrlCEvent);
        break;
    case SIGQUIT:
        ConsoleCtrlHandler(kCtrlBreakEvent);
        break;
    default:
        if (closeRequested)
            closeRequested();
        else
            EndAsUncaught(sig);
        break;
    }
}

void DrainPipe()
{
    unsigned char buf[64];
    for (;;) {
        const ssize_t n = read(signalPipe[0], buf, sizeof buf);
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i)
            Dispatch(buf[i]);
    }
}

} // namespace

bool ConsoleCtrlHandler(unsigned long event)
{
    if (event != kCtrlCEvent && event != kCtrlBreakEvent)
        return false;
    std::cout << "\n\t\t---Ctrl+Break pressed!---\n" << std::flush;
    return true;
}

void my::InstallUnixSignalHandlers()
{
    QCoreApplication* app = QCoreApplication::instance();
    MY_ASSERT_M(app && QThread::currentThread() == app->thread(),
                "QCoreApplication::instance()->thread()==QThread::currentThread()");
    if (notifier)
        return;
    if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier.data(), &QSocketNotifier::activated, notifier.data(), &DrainPipe);

    struct sigaction sa = {};
    sa.sa_handler = &NoteSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : kCaughtSignals)
        sigaction(sig, &sa, nullptr);
    // A reader of standard output that has gone (kalist8 | tee, tee ended)
    // must not end the program before it has saved anything.
    signal(SIGPIPE, SIG_IGN);
}

void my::SetCloseRequestedHandler(std::function<void()> handler) { closeRequested = std::move(handler); }
