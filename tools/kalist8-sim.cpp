// kalist8-sim: a КАЛИСТ-8 instrument simulator on a serial line.
#include "sim/SimControl.h"
#include "sim/SimDescribe.h"
#include "sim/SimLine.h"
#include "sim/SimOptions.h"
#include "sim/SimResponder.h"
#include "sim/SimServer.h"

#include "Excpt/MyExeption.h"
#include "VCLUtils/MyStrUtils.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>

namespace {

std::vector<sim::Instrument> MakeInstruments(const sim::Options& o)
{
    std::vector<sim::Instrument> out;
    for (uint8_t a : o.addresses) {
        const auto own = o.masks.find(a);
        out.emplace_back(a, o.seed, own != o.masks.end() ? std::optional<uint16_t>(own->second) : o.mask);
    }
    return out;
}

void WriteArchives(const std::vector<sim::Instrument>& instruments, const std::string& path)
{
    for (const auto& inst : instruments) {
        const std::string name = instruments.size() == 1 ? path : path + "." + std::to_string(inst.Address());
        std::ofstream f(name, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(inst.Archive().data()), static_cast<std::streamsize>(inst.Archive().size()));
        if (!f.flush())
            throw PMyExcpt(new MyWindowsException(FILE_LINE, "cannot write " + name));
    }
}

std::string Banner(const sim::Options& o, const sim::Line& line, const std::vector<sim::Instrument>& instruments)
{
    std::string text = "kalist8-sim: serving " + line.Path();
    if (!o.link.empty())
        text += " (link " + o.link + ")";
    text += " at " + std::to_string(o.baud) + " baud, latency " + my::Format("%g", o.latencyMs) + " ms, seed " +
            std::to_string(o.seed) + ", fault " + sim::FaultText(o.fault) + (o.still ? ", values still" : "") +
            (o.turnaroundMs ? my::Format(", turnaround %d ms", o.turnaroundMs) : std::string()) + "\n";
    for (const auto& inst : instruments)
        text += sim::DescribeInstrument(inst, 0);
    if (!o.control.empty())
        text += "Control socket: " + o.control + "\n";
    return text + "Type help for the commands; Ctrl+C ends.\n";
}

int Serve(const sim::Options& o)
{
    std::vector<sim::Instrument> instruments = MakeInstruments(o);
    if (!o.archiveOut.empty())
        WriteArchives(instruments, o.archiveOut);
    if (o.dump) {
        for (const auto& inst : instruments)
            std::fputs((sim::DescribeInstrument(inst, 0) + sim::RegisterTable(inst, 0)).c_str(), stdout);
        return 0;
    }
    sim::Responder responder(instruments, o.seed, o.still);
    responder.SetFault(o.fault, 0);
    responder.SetForeign(o.foreign);

    std::unique_ptr<sim::Line> line;
    if (o.device.empty())
        line = std::make_unique<sim::PtyLine>(o.link);
    else
        line = std::make_unique<sim::DeviceLine>(o.device, o.baud);
    line->Open();

    sim::ServerSettings settings;
    settings.baud = o.baud;
    settings.latencyMs = o.latencyMs;
    settings.turnaroundMs = o.turnaroundMs;
    settings.verbose = o.verbose;
    settings.controlPath = o.control;
    settings.noiseSeed = sim::MixSeed(o.seed, 4);
    sim::Server server(*line, responder, settings);

    // The first line of standard output is the path: scripts and tests wait
    // for it, and the line is served from that moment on.
    std::printf("%s\n", line->Path().c_str());
    std::fflush(stdout);
    std::fputs(Banner(o, *line, instruments).c_str(), stderr);

    server.Run();
    std::fputs(sim::FormatCounts(responder.Counts()).c_str(), stdout);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Before anything else: a stop request during start-up must still end
    // the simulator in order.
    sim::BlockServerSignals();
    std::signal(SIGPIPE, SIG_IGN);
    // Started in the background from a shell, reading the terminal fails
    // instead of stopping the simulator.
    std::signal(SIGTTIN, SIG_IGN);
    try {
        const sim::Options o = sim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (o.help) {
            std::fputs(sim::HelpText().c_str(), stdout);
            return 0;
        }
        if (!o.command.empty()) {
            const std::string reply = sim::SendControlCommand(o.control, o.command);
            std::printf("%s\n", reply.c_str());
            return reply.rfind("ok", 0) == 0 ? 0 : 1;
        }
        return Serve(o);
    } catch (...) {
        const PMyExcpt e = CurrentExceptionToPMyExcpt(FILE_LINE);
        std::fprintf(stderr, "kalist8-sim: %s\n", e->Message().c_str());
        return dynamic_cast<const sim::MySimUsageException*>(e.get()) ? 2 : 1;
    }
}
