#include "EngineTestSupport.h"

#include "Application/ConsolePrint.h"
#include "ComPort/CommSets.h"
#include "ComPort/RS232Modbus.h"
#include "ProgramFiles.h"
#include "sim/SimControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace engine_test {

namespace {

TempDir* world = nullptr;
std::string console;

void CaptureConsole(const std::string& text) { console += text; }

// A pseudo-terminal pair in raw mode; returns the master, the slave's path in
// *slave. The slave is opened and closed once so that the master never sees
// a hang-up before the program opens it.
int OpenPty(std::string* slave)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return -1;
    *slave = ptsname(master);
    const int s = open(slave->c_str(), O_RDWR | O_NOCTTY);
    if (s >= 0) {
        termios t{};
        tcgetattr(s, &t);
        cfmakeraw(&t);
        tcsetattr(s, TCSANOW, &t);
        close(s);
    }
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
    return master;
}

void PointLinkAt(const std::string& target)
{
    std::remove(LinePath().c_str());
    if (symlink(target.c_str(), LinePath().c_str()) != 0)
        ADD_FAILURE() << "cannot link " << LinePath() << " to " << target;
}

} // namespace

const std::string& LinePath()
{
    static const std::string path = world->File("ttyK8");
    return path;
}

void SetUpWorld()
{
    world = new TempDir;
    setenv("XDG_CONFIG_HOME", world->File("config").c_str(), 1);
    setenv("KALIST8_COM1", LinePath().c_str(), 1);
    // COM1 counts as present only if it is a terminal when the present-port
    // list is built, once per process: build it now with a pty behind it.
    std::string slave;
    const int master = OpenPty(&slave);
    PointLinkAt(slave);
    my::Comm::IsPortPresent(1);
    close(master);
    std::remove(LinePath().c_str());
}

bool PumpUntil(const std::function<bool()>& cond, double seconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!cond()) {
        if (timer.elapsed() > seconds * 1000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        usleep(1000);
    }
    return true;
}

void PumpFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    PumpUntil([&] { return timer.elapsed() >= ms; }, ms / 1000.0 + 5);
}

SimLine::SimLine(const std::vector<std::string>& extraArgs) : control_(dir_.File("sim.ctl"))
{
    std::vector<std::string> args{"--link", LinePath(), "--control", control_};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    process_ = std::make_unique<sim::SimProcess>(KALIST8_SIM_EXE, args, dir_.Path());
    if (!process_->WaitForLine())
        ADD_FAILURE() << "the simulator did not start: " << process_->Errors();
}

SimLine::~SimLine() { process_->Stop(SIGTERM); }

std::string SimLine::Command(const std::string& command)
{
    const std::string reply = sim::SendControlCommand(control_, command);
    EXPECT_EQ(reply.substr(0, 2), "ok") << command << ": " << reply;
    return reply;
}

ScriptedInstrument::ScriptedInstrument(AnswerFn answer) : answer_(std::move(answer))
{
    std::string slave;
    master_ = OpenPty(&slave);
    PointLinkAt(slave);
    thread_ = std::thread([this] { Serve(); });
}

ScriptedInstrument::~ScriptedInstrument()
{
    stop_ = true;
    thread_.join();
    close(master_);
    std::remove(LinePath().c_str());
}

std::vector<Bytes> ScriptedInstrument::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void ScriptedInstrument::Serve()
{
    Bytes frame;
    while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        const int n = poll(&p, 1, 5);
        if (n > 0 && (p.revents & POLLIN)) {
            uint8_t buf[512];
            const ssize_t got = read(master_, buf, sizeof buf);
            if (got > 0)
                frame.insert(frame.end(), buf, buf + got);
            continue;
        }
        if (n > 0 && (p.revents & (POLLHUP | POLLERR)))
            usleep(2000); // nobody holds the port open just now
        if (frame.empty())
            continue;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(frame);
        }
        const Bytes answer = answer_(frame);
        frame.clear();
        if (!answer.empty() && write(master_, answer.data(), answer.size()) < 0)
            ADD_FAILURE() << "scripted instrument cannot write: " << errno;
    }
}

Bytes WithCrc(Bytes frame)
{
    const uint16_t crc = ModbusCRC16(frame.data(), frame.data() + frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

void Recorded::OnReportState(unsigned code, const std::string& text)
{
    states.emplace_back(code, text);
    if (code != 2)
        seen.push_back(std::to_string(code) + " " + text);
}

void Recorded::OnNotifyTransmition(const TransmitionItemTag& tag)
{
    Item item{tag.slave, tag.cmd, Bytes(tag.txdBegin, tag.txdEnd), Bytes(), tag.rxdBegin != nullptr,
              tag.begin,  tag.done, tag.error};
    if (tag.rxdBegin)
        item.rxd.assign(tag.rxdBegin, tag.rxdEnd);
    items.push_back(item);
    seen.push_back(std::string(tag.begin ? "begin" : "done") + (tag.done && tag.error ? " error" : ""));
}

std::vector<unsigned> Recorded::Codes() const
{
    std::vector<unsigned> codes;
    for (const auto& s : states)
        codes.push_back(s.first);
    return codes;
}

size_t Recorded::CountCode(unsigned code) const
{
    size_t n = 0;
    for (const auto& s : states)
        n += s.first == code;
    return n;
}

size_t Recorded::CountDone() const
{
    size_t n = 0;
    for (const auto& i : items)
        n += i.done;
    return n;
}

std::string ConsoleText() { return console; }

void EngineTest::SetUp()
{
    std::remove((GetExeDir() + "comm.ini").c_str());
    std::remove((GetExeDir() + "config.ini").c_str());
    console.clear();
    SetConsoleSink(&CaptureConsole);
    DevTask::SetDeviceWindow(&window_);
}

void EngineTest::TearDown()
{
    DeleteEngine();
    DevTask::SetDeviceWindow(nullptr);
    SetConsoleSink(nullptr);
}

TransferManagerT& EngineTest::Engine()
{
    if (!TransferManagerT::Exists()) {
        TransferManagerT& engine = TransferManagerT::Instance();
        stateConnection_ = engine.ConnectReportState(rec_, &Recorded::OnReportState);
        notifyConnection_ = engine.ConnectNotifyTransmition(rec_, &Recorded::OnNotifyTransmition);
    }
    return TransferManagerT::Instance();
}

void EngineTest::DeleteEngine()
{
    if (!TransferManagerT::Exists())
        return;
    TransferManagerT::Instance().StopThread();
    notifyConnection_.reset();
    stateConnection_.reset();
    TransferManagerT::DeleteInstance();
}

bool EngineTest::WaitIdle(double seconds)
{
    return PumpUntil([] { return !TransferManagerT::Instance().IsThreadRunning(); }, seconds);
}

} // namespace engine_test
