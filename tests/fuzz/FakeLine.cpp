#include "FakeLine.h"

#include "FuzzSupport.h"

#include "ComPort/PortMap.h"
#include "ProgramFiles.h"
#include "VCLUtils/IniFile.h"

#include <linux/serial.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fuzz {

int ScriptedLine::Ioctl(int, unsigned long request, void* arg)
{
    if (request == FIONREAD) {
        *static_cast<int*>(arg) = static_cast<int>(Waiting());
        return 0;
    }
    if (request == TIOCGICOUNT) {
        auto* ic = static_cast<serial_icounter_struct*>(arg);
        *ic = serial_icounter_struct{};
        ic->frame = frameErrors_;
        return 0;
    }
    if (request == TIOCGRS485 || request == TIOCSRS485) {
        errno = ENOTTY;
        return -1;
    }
    return 0;
}

int ScriptedLine::Poll(pollfd* fds, nfds_t, int)
{
    Settle();
    fds->revents = 0;
    if (fds->events & POLLOUT)
        fds->revents |= POLLOUT;
    if (!events.empty() && events.front().kind == Event::HangUp)
        fds->revents |= POLLHUP;
    else if (Waiting() > 0)
        fds->revents |= fds->events & POLLIN;
    else if (!events.empty() && events.front().kind == Event::Silence)
        events.pop_front(); // this wait times out
    else if (events.empty() && endless && (fds->events & POLLIN)) {
        std::this_thread::sleep_for(std::chrono::microseconds(1000 / kEndlessBytesPerMs));
        fds->revents |= POLLIN;
    }
    return fds->revents ? 1 : 0;
}

ssize_t ScriptedLine::Read(int, void* buf, size_t count)
{
    Settle();
    if (Waiting() == 0) {
        errno = EAGAIN;
        return -1;
    }
    if (events.empty()) {
        const size_t n = std::min(count, Waiting());
        std::fill_n(static_cast<char*>(buf), n, '\x55');
        endlessServed_ += n;
        if (endlessServed_ > kEndlessLimit)
            Fail("the link keeps reading a line that never falls silent");
        return static_cast<ssize_t>(n);
    }
    std::string& piece = events.front().bytes;
    const size_t n = std::min(count, piece.size());
    std::copy_n(piece.data(), n, static_cast<char*>(buf));
    piece.erase(0, n);
    if (piece.empty())
        events.pop_front();
    return static_cast<ssize_t>(n);
}

ssize_t ScriptedLine::Write(int, const void* buf, size_t count)
{
    written.append(static_cast<const char*>(buf), count);
    return static_cast<ssize_t>(count);
}

void ScriptedLine::Reset()
{
    events.clear();
    endless = false;
    written.clear();
    endlessServed_ = 0;
    endlessStart_ = Clock::time_point();
}

// Line errors counted as the driver would, the moment they come up.
void ScriptedLine::Settle()
{
    while (!events.empty() && (events.front().kind == Event::LineError ||
                               (events.front().kind == Event::Bytes && events.front().bytes.empty()))) {
        if (events.front().kind == Event::LineError)
            ++frameErrors_;
        events.pop_front();
    }
}

size_t ScriptedLine::Waiting()
{
    if (events.empty())
        return endless ? EndlessDue() : 0;
    return events.front().kind == Event::Bytes ? events.front().bytes.size() : 0;
}

// The bytes of the endless talk that have come and not been read.
size_t ScriptedLine::EndlessDue()
{
    const Clock::time_point now = Clock::now();
    if (endlessServed_ == 0 && endlessStart_ == Clock::time_point())
        endlessStart_ = now;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(now - endlessStart_).count();
    const size_t due = static_cast<size_t>(us * kEndlessBytesPerMs / 1000) + 1;
    return due > endlessServed_ ? due - endlessServed_ : 0;
}

void UseScriptedLine(ScriptedLine& line)
{
    setenv("XDG_CONFIG_HOME", ScratchDir().c_str(), 1);
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        Fail("no pseudo-terminal");
    setenv("KALIST8_COM1", ptsname(master), 1);
    my::Comm::SetDeviceScanSource([] { return std::vector<std::string>(); });
    my::IniFile& ini = GetCommIni();
    ini.WriteInteger("COMPORT", "Порт", 1);
    ini.WriteInteger("Трансфер", "Задержка_записи_мсек", 0);
    ini.WriteInteger("Трансфер", "таймаут_ожидания_ответа_мсек", 100);
    ini.WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 5);
    ini.WriteBool("Трансфер", "лагать", false);
    my::Comm::InstallSerialSys(&line);
}

} // namespace fuzz
