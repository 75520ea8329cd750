// The link's exchange against a line the input scripts: the answer in pieces,
// silences between them, line errors, a hang-up, and a line that keeps
// talking after the script. The port's system calls are played by a fake
// put in place of the real ones, so no time passes on a real line.
//
// Input: address, function code, request data length and data, a flag byte
// (bit 0: bytes never stop after the script), then events: a kind byte and
// its piece.

#include "FuzzSupport.h"

#include "ComPort/PortMap.h"
#include "ComPort/RS232Modbus.h"
#include "ComPort/SerialSys.h"
#include "ProgramFiles.h"
#include "VCLUtils/IniFile.h"

#include <linux/serial.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A line that never falls silent talks at 10 bytes a millisecond (a fast
// line, so that a link that ends such an answer by time or by length both
// end it soon). Twice the longest answer of the instrument (the archive,
// 9804 bytes) and two seconds of it: a link still reading then reads for ever.
constexpr int64_t kEndlessBytesPerMs = 10;
constexpr size_t kEndlessLimit = 20000;
constexpr int kFakeFd = 1000;

typedef std::chrono::steady_clock Clock;

struct Event {
    enum Kind { Bytes, Silence, LineError, HangUp } kind;
    std::string bytes;
};

class ScriptedLine : public my::Comm::SerialSys {
public:
    std::deque<Event> events;
    bool endless = false;
    std::string written;
    size_t endlessServed = 0;

    int Open(const char*, int) override { return kFakeFd; }
    int Close(int) override { return 0; }
    int Flock(int, int) override { return 0; }
    int Tcsetattr(int, int, const termios*) override { return 0; }
    int Tcflush(int, int) override { return 0; }

    int Ioctl(int, unsigned long request, void* arg) override
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

    int Poll(pollfd* fds, nfds_t, int) override
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

    ssize_t Read(int, void* buf, size_t count) override
    {
        Settle();
        if (Waiting() == 0) {
            errno = EAGAIN;
            return -1;
        }
        if (events.empty()) {
            const size_t n = std::min(count, Waiting());
            std::fill_n(static_cast<char*>(buf), n, '\x55');
            endlessServed += n;
            if (endlessServed > kEndlessLimit)
                fuzz::Fail("the link keeps reading a line that never falls silent");
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

    ssize_t Write(int, const void* buf, size_t count) override
    {
        written.append(static_cast<const char*>(buf), count);
        return static_cast<ssize_t>(count);
    }

    void Reset()
    {
        events.clear();
        endless = false;
        written.clear();
        endlessServed = 0;
        endlessStart_ = Clock::time_point();
    }

private:
    // Line errors counted as the driver would, the moment they come up.
    void Settle()
    {
        while (!events.empty() && (events.front().kind == Event::LineError ||
                                   (events.front().kind == Event::Bytes && events.front().bytes.empty()))) {
            if (events.front().kind == Event::LineError)
                ++frameErrors_;
            events.pop_front();
        }
    }

    size_t Waiting()
    {
        if (events.empty())
            return endless ? EndlessDue() : 0;
        return events.front().kind == Event::Bytes ? events.front().bytes.size() : 0;
    }

    // The bytes of the endless talk that have come and not been read.
    size_t EndlessDue()
    {
        const Clock::time_point now = Clock::now();
        if (endlessServed == 0 && endlessStart_ == Clock::time_point())
            endlessStart_ = now;
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(now - endlessStart_).count();
        const size_t due = static_cast<size_t>(us * kEndlessBytesPerMs / 1000) + 1;
        return due > endlessServed ? due - endlessServed : 0;
    }

    int frameErrors_ = 0;
    Clock::time_point endlessStart_;
};

// COM1 stands for a pseudo-terminal that is never opened: the fake answers
// in its place. The link's pauses are as short as its settings allow.
RS232ModbusT& Link(ScriptedLine& line)
{
    static RS232ModbusT* link = [&line] {
        setenv("XDG_CONFIG_HOME", fuzz::ScratchDir().c_str(), 1);
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            fuzz::Fail("no pseudo-terminal");
        setenv("KALIST8_COM1", ptsname(master), 1);
        my::Comm::SetDeviceScanSource([] { return std::vector<std::string>(); });
        my::IniFile& ini = GetCommIni();
        ini.WriteInteger("COMPORT", "Порт", 1);
        ini.WriteInteger("Трансфер", "Задержка_записи_мсек", 0);
        ini.WriteInteger("Трансфер", "таймаут_ожидания_ответа_мсек", 100);
        ini.WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 5);
        ini.WriteBool("Трансфер", "лагать", false);
        my::Comm::InstallSerialSys(&line);
        auto* l = new RS232ModbusT;
        l->SetStopWait([](uint32_t) {});
        return l;
    }();
    return *link;
}

void Script(fuzz::Input& in, ScriptedLine& line)
{
    while (in.Left() > 0) {
        const uint8_t kind = in.Byte();
        switch (kind % 4) {
        case 0:
            line.events.push_back({Event::Bytes, in.Bytes(kind / 4 + 1u)});
            break;
        case 1:
            line.events.push_back({Event::Silence, std::string()});
            break;
        case 2:
            line.events.push_back({Event::LineError, std::string()});
            break;
        default:
            line.events.push_back({Event::HangUp, std::string()});
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ScriptedLine line;
    RS232ModbusT& link = Link(line);
    line.Reset();

    fuzz::Input in(data, size);
    const uint8_t address = in.Byte();
    const uint8_t function = in.Byte();
    const std::string request = in.Bytes(in.Byte() % 16);
    line.endless = in.Byte() & 1;
    Script(in, line);

    const auto* b = reinterpret_cast<const uint8_t*>(request.data());
    const uint8_t* answerBegin = nullptr;
    const uint8_t* answerEnd = nullptr;
    try {
        const int32_t code = link.Exchange(address, function, b, b + request.size(), &answerBegin, &answerEnd);
        const std::vector<uint8_t> frame = MakeModbusFrame(address, function, b, b + request.size());
        fuzz::Check(line.written == std::string(frame.begin(), frame.end()), "the request on the line");
        if (address != 0) {
            fuzz::Check(answerBegin && answerEnd >= answerBegin, "an accepted answer without its data");
            fuzz::Check(IsModbusStr(answerBegin - 2, answerEnd + 2, address, function), "an unsound answer accepted");
            fuzz::Check(code == 0 || (answerEnd - answerBegin == 1 && answerBegin[-1] == (function | 0x80)),
                        "an exception code without an exception answer");
        }
    } catch (const PMyExcpt& e) {
        fuzz::Check(!e->Message().empty(), "an error without a message");
    }
    link.ClosePort();
    return 0;
}
