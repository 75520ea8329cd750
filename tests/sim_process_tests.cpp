// kalist8-sim as a program: started as a separate process, talked to over
// its pseudo-terminal with plain termios, steered through its control
// socket, stopped by signals.
#include "sim/SimControl.h"
#include "sim/SimProcess.h"

#include "TestUtils.h"

#include "ComPort/RS232Modbus.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

typedef std::vector<uint8_t> Bytes;
typedef std::map<std::pair<unsigned, unsigned>, unsigned> RegisterMap; // (address, register) -> value

const std::string SIM = KALIST8_SIM_EXE;

Bytes Read(uint8_t addr, uint16_t first, uint16_t count)
{
    const Bytes data = {uint8_t(first >> 8), uint8_t(first), uint8_t(count >> 8), uint8_t(count)};
    return MakeModbusFrame(addr, 3, data.data(), data.data() + data.size());
}

bool SoundAnswer(const Bytes& answer, uint8_t addr, uint8_t fn)
{
    return answer.size() >= 4 && answer[0] == addr && answer[1] == fn &&
           ModbusCRC16(answer.data(), answer.data() + answer.size()) == 0;
}

// The register table of --dump: "Registers of the instrument at address A"
// and then "  <register>: 0x<hex> = ...".
RegisterMap DumpRegisters(const std::string& dump)
{
    RegisterMap regs;
    std::istringstream in(dump);
    std::string line;
    unsigned addr = 0;
    while (std::getline(in, line)) {
        unsigned a = 0, reg = 0, value = 0;
        if (std::sscanf(line.c_str(), "Registers of the instrument at address %u", &a) == 1)
            addr = a;
        else if (std::sscanf(line.c_str(), "  %u: 0x%x =", &reg, &value) == 2)
            regs[{addr, reg}] = value;
    }
    return regs;
}

// The registers of a function 3 answer.
std::vector<unsigned> AnswerRegisters(const Bytes& answer)
{
    std::vector<unsigned> regs;
    for (size_t i = 3; i + 3 < answer.size(); i += 2)
        regs.push_back(answer[i] << 8 | answer[i + 1]);
    return regs;
}

std::string FindInPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = dir + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return "";
}

std::string ReadLinkTarget(const std::string& path)
{
    char buf[4096];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    return n < 0 ? std::string() : std::string(buf, static_cast<size_t>(n));
}

bool ExitedWith(int status, int code) { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == code; }

class SimProcessTest : public ::testing::Test {
protected:
    void Start(const std::vector<std::string>& args)
    {
        sim_ = std::make_unique<sim::SimProcess>(SIM, args, dir_.Path());
        ASSERT_TRUE(sim_->WaitForLine()) << sim_->Errors();
    }
    std::string ControlPath() const { return dir_.File("control"); }
    std::string Tell(const std::string& command) { return sim::SendControlCommand(ControlPath(), command); }

    // One request and what came back: up to expected bytes, the answer
    // ending at 200 ms of silence.
    static sim::RawTerminal::Received Exchange(sim::RawTerminal& t, const Bytes& request, size_t expected,
                                               int timeoutMs = 3000, int silenceMs = 200)
    {
        const auto sent = std::chrono::steady_clock::now();
        EXPECT_TRUE(t.Write(request));
        return t.Read(expected, timeoutMs, silenceMs, sent);
    }

    TempDir dir_;
    std::unique_ptr<sim::SimProcess> sim_;
};

} // namespace

TEST_F(SimProcessTest, LineAnswersWithTheRegistersTheDumpShows)
{
    const std::vector<std::string> args = {"--seed", "7", "--still", "--mask", "0x8005", "--address", "1,2"};
    std::string dump;
    std::vector<std::string> dumpArgs = args;
    dumpArgs.push_back("--dump");
    ASSERT_TRUE(ExitedWith(sim::RunProgram(SIM, dumpArgs, dir_.Path(), &dump, nullptr), 0));
    const RegisterMap expected = DumpRegisters(dump);
    ASSERT_EQ(expected.count({1, 52}), 1u) << dump;

    ASSERT_NO_FATAL_FAILURE(Start(args));
    sim::RawTerminal line(sim_->LinePath());
    ASSERT_TRUE(line.Ok());
    const struct {
        uint16_t first, count;
    } reads[] = {{0, 1}, {0, 2}, {52, 1}, {64, 2}, {84, 2}, {214, 2}, {0, 35}};
    for (uint8_t addr : {1, 2}) {
        for (const auto& rd : reads) {
            const auto got = Exchange(line, Read(addr, rd.first, rd.count), 5 + 2 * rd.count);
            ASSERT_TRUE(SoundAnswer(got.bytes, addr, 3)) << int(addr) << ": " << rd.first;
            const auto regs = AnswerRegisters(got.bytes);
            ASSERT_EQ(regs.size(), rd.count);
            for (unsigned i = 0; i < rd.count; ++i)
                EXPECT_EQ(regs[i], expected.at({addr, rd.first + i})) << int(addr) << ": register " << rd.first + i;
        }
    }
    EXPECT_EQ(expected.at({1, 52}), 0x8005u);
    // Outside the map: exception 02.
    const auto outside = Exchange(line, Read(1, 35, 1), 5);
    EXPECT_EQ(outside.bytes, (Bytes{0x01, 0x83, 0x02, 0xC0, 0xF1}));
}

TEST_F(SimProcessTest, ArchiveOverTheLineIsTheBlockWrittenOut)
{
    const std::string file = dir_.File("archive.bin");
    ASSERT_NO_FATAL_FAILURE(Start({"--seed", "3", "--baud", "115200", "--archive-out", file}));
    const std::string block = ReadBytes(file);
    ASSERT_EQ(block.size(), 9800u);

    sim::RawTerminal line(sim_->LinePath());
    const Bytes request = MakeModbusFrame(1, 0x41, nullptr, nullptr);
    const auto got = Exchange(line, request, 9804, 5000, 1000);
    ASSERT_EQ(got.bytes.size(), 9804u);
    EXPECT_TRUE(SoundAnswer(got.bytes, 1, 0x41));
    EXPECT_EQ(std::string(got.bytes.begin() + 2, got.bytes.end() - 2), block);
    // 9803 characters after the first at 115200 baud take 851 ms; half of
    // that at least, whatever the machine's load.
    EXPECT_GE(got.lastMs - got.firstMs, 425) << "the answer is paced, not dumped at once";
}

TEST_F(SimProcessTest, AnswerWaitsTheLatencyAndIsPacedAtTheBaudRate)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--latency", "100"}));
    sim::RawTerminal line(sim_->LinePath());
    const auto got = Exchange(line, Read(1, 0, 35), 75);
    ASSERT_EQ(got.bytes.size(), 75u);
    // 100 ms latency, then 75 bytes at 9600 baud: 78 ms; the first byte
    // arrives after the latency, the last 74 characters (77 ms) later.
    EXPECT_GE(got.firstMs, 50);
    EXPECT_GE(got.lastMs - got.firstMs, 38);
    EXPECT_TRUE(SoundAnswer(got.bytes, 1, 3));
}

TEST_F(SimProcessTest, RequestWithinTheTurnaroundIsLost)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--turnaround", "300", "--control", ControlPath()}));
    sim::RawTerminal line(sim_->LinePath());
    EXPECT_TRUE(SoundAnswer(Exchange(line, Read(1, 0, 2), 9).bytes, 1, 3));
    // At once after the answer: lost. Its wait outlasts the turnaround, so
    // the next one is answered.
    EXPECT_TRUE(Exchange(line, Read(1, 0, 2), 9, 500).bytes.empty());
    EXPECT_TRUE(SoundAnswer(Exchange(line, Read(1, 0, 2), 9).bytes, 1, 3));
    const std::string counts = Tell("counts");
    EXPECT_NE(counts.find(" answers 2 "), std::string::npos) << counts;
    EXPECT_NE(counts.find(" turnaround-lost 1"), std::string::npos) << counts;
}

TEST_F(SimProcessTest, FaultsSwitchThroughTheControlSocket)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--control", ControlPath()}));
    EXPECT_EQ(Tell("line"), "ok line up " + sim_->LinePath());
    sim::RawTerminal line(sim_->LinePath());
    const Bytes request = Read(1, 52, 1);

    EXPECT_EQ(Tell("fault silent"), "ok fault silent");
    EXPECT_TRUE(Exchange(line, request, 7, 500).bytes.empty());

    EXPECT_EQ(Tell("fault bad-crc"), "ok fault bad-crc");
    const auto bad = Exchange(line, request, 7);
    ASSERT_EQ(bad.bytes.size(), 7u);
    EXPECT_NE(ModbusCRC16(bad.bytes.data(), bad.bytes.data() + bad.bytes.size()), 0);

    // Pieces 300 ms apart: a reader that ends at 100 ms of silence gets the
    // first piece alone, the rest comes after.
    EXPECT_EQ(Tell("fault split 300 2"), "ok fault split 300 2");
    const auto first = Exchange(line, request, 7, 3000, 100);
    EXPECT_EQ(first.bytes.size(), 4u);
    EXPECT_EQ(line.Read(7, 3000, 100).bytes.size(), 3u);

    // The program itself as the client of a running simulator.
    std::string out;
    EXPECT_TRUE(ExitedWith(
        sim::RunProgram(SIM, {"--control", ControlPath(), "--command", "fault short 2"}, dir_.Path(), &out, nullptr), 0));
    EXPECT_EQ(out, "ok fault short 2\n");
    EXPECT_EQ(Exchange(line, request, 7).bytes.size(), 2u);
    EXPECT_TRUE(ExitedWith(
        sim::RunProgram(SIM, {"--control", ControlPath(), "--command", "louder"}, dir_.Path(), &out, nullptr), 1));
    EXPECT_EQ(out, "error: unknown command \"louder\" (try help)\n");

    EXPECT_EQ(Tell("fault none"), "ok fault none");
    EXPECT_TRUE(SoundAnswer(Exchange(line, request, 7).bytes, 1, 3));
    EXPECT_EQ(Tell("fault short 4"), "error: the length of a short answer must be a whole number from 1 to 3, not \"4\"");
}

TEST_F(SimProcessTest, DroppedLineHangsUpAndComesBackBehindTheLink)
{
    const std::string link = dir_.File("com1");
    ASSERT_NO_FATAL_FAILURE(Start({"--link", link, "--control", ControlPath()}));
    EXPECT_EQ(ReadLinkTarget(link), sim_->LinePath());
    const Bytes request = Read(1, 52, 1);
    {
        sim::RawTerminal old(link);
        ASSERT_TRUE(old.Ok());
        EXPECT_TRUE(SoundAnswer(Exchange(old, request, 7).bytes, 1, 3));

        EXPECT_EQ(Tell("drop 300"), "ok line down for 300 ms");
        EXPECT_TRUE(old.Read(1, 3000, 100).hangUp) << "a pulled cable: the old terminal hangs up";
        ASSERT_TRUE(sim_->WaitForOutput("line up /dev/"));
    }
    std::string out = sim_->Output();
    EXPECT_NE(out.find("\nline down\n"), std::string::npos) << out;
    const auto up = out.find("line up ");
    const std::string newPath = out.substr(up + 8, out.find('\n', up) - up - 8);
    EXPECT_EQ(ReadLinkTarget(link), newPath);
    {
        sim::RawTerminal again(link);
        ASSERT_TRUE(again.Ok());
        EXPECT_TRUE(SoundAnswer(Exchange(again, request, 7).bytes, 1, 3));

        // The same as a fault: the next request pulls the cable instead of
        // being answered.
        EXPECT_EQ(Tell("fault drop 100"), "ok fault drop 100 times 1");
        EXPECT_TRUE(Exchange(again, request, 7).hangUp);
        ASSERT_TRUE(sim_->WaitForOutput("line up /dev/", 10, up + 8));
    }
    sim::RawTerminal third(link);
    ASSERT_TRUE(third.Ok());
    EXPECT_TRUE(SoundAnswer(Exchange(third, request, 7).bytes, 1, 3));

    // Down until restored: the link is gone meanwhile, as a device node is.
    EXPECT_EQ(Tell("drop forever"), "ok line down until restore");
    struct stat st;
    EXPECT_NE(::lstat(link.c_str(), &st), 0);
    EXPECT_EQ(Tell("line"), "ok line down");
    EXPECT_EQ(Tell("restore").rfind("ok line up /dev/", 0), 0u);
    EXPECT_EQ(::lstat(link.c_str(), &st), 0);

    EXPECT_TRUE(ExitedWith(sim_->Stop(SIGTERM), 0));
    EXPECT_NE(::lstat(link.c_str(), &st), 0) << "the link goes with the simulator";
}

TEST_F(SimProcessTest, ServesAnExistingDevice)
{
    // A pseudo-terminal stands in for the serial adapter: the simulator
    // opens its terminal side as the device, the test talks on the master.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string device = ::ptsname(master);
    ASSERT_NO_FATAL_FAILURE(Start({"--device", device, "--baud", "19200"}));
    EXPECT_EQ(sim_->LinePath(), device);

    const Bytes request = Read(1, 52, 1);
    ASSERT_EQ(::write(master, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    Bytes answer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (answer.size() < 7 && std::chrono::steady_clock::now() < deadline) {
        pollfd p = {master, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0 && (p.revents & POLLIN)) {
            uint8_t buf[64];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0)
                answer.insert(answer.end(), buf, buf + n);
        }
    }
    EXPECT_TRUE(SoundAnswer(answer, 1, 3));
    EXPECT_TRUE(ExitedWith(sim_->Stop(SIGTERM), 0));
    ::close(master);
}

TEST_F(SimProcessTest, CountsOnRequestAndAtTheEnd)
{
    for (int sig : {SIGTERM, SIGINT}) {
        ASSERT_NO_FATAL_FAILURE(Start({}));
        {
            sim::RawTerminal line(sim_->LinePath());
            EXPECT_TRUE(SoundAnswer(Exchange(line, Read(1, 0, 2), 9).bytes, 1, 3));
            EXPECT_TRUE(SoundAnswer(Exchange(line, Read(1, 52, 1), 7).bytes, 1, 3));
            EXPECT_TRUE(Exchange(line, Read(9, 0, 1), 7, 300).bytes.empty());
            const Bytes cmd = {0x00, 0x20, 0x00, 0x03, 0x06, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};
            EXPECT_TRUE(SoundAnswer(Exchange(line, MakeModbusFrame(1, 0x16, cmd.data(), cmd.data() + cmd.size()), 8).bytes, 1, 0x16));
        }
        ::kill(sim_->Pid(), SIGUSR1);
        ASSERT_TRUE(sim_->WaitForOutput("kalist8-sim counts:"));

        const size_t before = sim_->Output().size();
        EXPECT_TRUE(ExitedWith(sim_->Stop(sig), 0)) << sig;
        const std::string counts = sim_->Output().substr(before);
        for (const char* line : {"kalist8-sim counts:\n", "  requests: 4\n", "    function 0x03: 3\n",
                                 "    function 0x16: 1\n", "    address 1: 3\n", "    address 9: 1\n",
                                 "    to other addresses (not answered): 1\n", "  answers: 3\n"})
            EXPECT_NE(counts.find(line), std::string::npos) << line << "in:\n" << counts;
    }
}

TEST_F(SimProcessTest, IndependentModbusMasterReadsWhatTheSimulatorHolds)
{
    const std::string mbpoll = FindInPath("mbpoll");
    if (mbpoll.empty())
        GTEST_SKIP() << "mbpoll is not installed (Debian package mbpoll)";
    const std::vector<std::string> args = {"--seed", "7", "--still", "--mask", "0x8005"};
    std::string dump;
    std::vector<std::string> dumpArgs = args;
    dumpArgs.push_back("--dump");
    ASSERT_TRUE(ExitedWith(sim::RunProgram(SIM, dumpArgs, dir_.Path(), &dump, nullptr), 0));
    const RegisterMap expected = DumpRegisters(dump);
    ASSERT_NO_FATAL_FAILURE(Start(args));

    const struct {
        unsigned first, count;
    } reads[] = {{0, 2}, {52, 1}, {64, 2}, {214, 2}};
    for (const auto& rd : reads) {
        // Pseudo-terminals ignore the speed; mbpoll's default parity is even.
        std::string out, err;
        const int status = sim::RunProgram(mbpoll,
                                           {"-m", "rtu", "-a", "1", "-b", "9600", "-P", "none", "-t", "4:hex", "-0",
                                            "-r", std::to_string(rd.first), "-c", std::to_string(rd.count), "-1",
                                            "-o", "2", sim_->LinePath()},
                                           dir_.Path(), &out, &err);
        ASSERT_TRUE(ExitedWith(status, 0)) << out << err;
        for (unsigned i = 0; i < rd.count; ++i) {
            const unsigned reg = rd.first + i;
            // mbpoll prints "[<register>]: <tab>0x<hex>".
            char line[64];
            std::snprintf(line, sizeof line, "[%u]: \t0x%04X\n", reg, expected.at({1, reg}));
            EXPECT_NE(out.find(line), std::string::npos) << line << " in:\n" << out;
        }
    }
}

TEST(SimProgramTest, HelpAndUsageErrors)
{
    TempDir dir;
    std::string out, err;
    EXPECT_TRUE(ExitedWith(sim::RunProgram(SIM, {"--help"}, dir.Path(), &out, &err), 0));
    EXPECT_NE(out.find("Usage:"), std::string::npos);
    EXPECT_TRUE(ExitedWith(sim::RunProgram(SIM, {"--baud", "1"}, dir.Path(), &out, &err), 2));
    EXPECT_EQ(err.rfind("kalist8-sim: --baud: 1 is not a standard speed", 0), 0u) << err;
    EXPECT_TRUE(out.empty()) << "nothing a script could take for a path";
    // A regular file where the link should go is not replaced.
    WriteBytes(dir.File("com1"), "keep");
    EXPECT_TRUE(ExitedWith(sim::RunProgram(SIM, {"--link", dir.File("com1")}, dir.Path(), &out, &err), 1));
    EXPECT_EQ(ReadBytes(dir.File("com1")), "keep");
}
