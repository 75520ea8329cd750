#include "sim/SimOptions.h"

#include "sim/SimLine.h"

#include "VCLUtils/MyStrUtils.h"

#include <algorithm>

namespace sim {

namespace {

[[noreturn]] void Fail(const std::string& text) { throw PMyExcpt(new MySimUsageException(FILE_LINE, text)); }

long long Number(const std::string& text, long long lo, long long hi, const std::string& option)
{
    // Decimal, or hexadecimal with 0x, as a service engineer writes masks.
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    size_t used = 0;
    long long v = 0;
    try {
        v = std::stoll(hex ? text.substr(2) : text, &used, hex ? 16 : 10);
    } catch (...) {
        used = 0;
    }
    if (text.empty() || used != (hex ? text.size() - 2 : text.size()) || v < lo || v > hi)
        Fail(my::Format("%s takes a whole number from %lld to %lld, not \"%s\"", option.c_str(), lo, hi, text.c_str()));
    return v;
}

void ParseMask(const std::string& text, Options& o)
{
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        o.mask = static_cast<uint16_t>(Number(text, 0, 0xFFFF, "--mask"));
        return;
    }
    const auto addr = static_cast<uint8_t>(Number(text.substr(0, colon), 1, 255, "--mask (address)"));
    o.masks[addr] = static_cast<uint16_t>(Number(text.substr(colon + 1), 0, 0xFFFF, "--mask"));
}

// "5" or "5:3": a device that is no instrument, with the exception code it
// answers everything with (02 unless given).
void ParseForeign(const std::string& text, Options& o)
{
    const auto colon = text.find(':');
    const auto addr = static_cast<uint8_t>(Number(text.substr(0, colon), 1, 255, "--foreign (address)"));
    o.foreign[addr] = colon == std::string::npos
                          ? 2
                          : static_cast<uint8_t>(Number(text.substr(colon + 1), 1, 255, "--foreign (exception code)"));
}

} // namespace

void ParseAddressList(const std::string& text, std::vector<uint8_t>& out)
{
    std::string item;
    auto flush = [&]() {
        if (item.empty())
            return;
        const auto dash = item.find('-', 1);
        const long long lo = Number(item.substr(0, dash), 1, 255, "--address");
        const long long hi = dash == std::string::npos ? lo : Number(item.substr(dash + 1), 1, 255, "--address");
        if (hi < lo)
            Fail("--address: the range \"" + item + "\" runs backwards");
        for (long long a = lo; a <= hi; ++a)
            out.push_back(static_cast<uint8_t>(a));
        item.clear();
    };
    for (char c : text) {
        if (c == ',' || c == ' ' || c == '\t')
            flush();
        else
            item += c;
    }
    flush();
}

Options ParseOptions(const std::vector<std::string>& args)
{
    Options o;
    bool faultGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        bool hasValue = false;
        const auto eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        auto take = [&]() -> std::string {
            if (hasValue)
                return value;
            if (i + 1 >= args.size())
                Fail(name + " needs a value (see --help)");
            return args[++i];
        };
        auto flag = [&]() {
            if (hasValue)
                Fail(name + " takes no value");
        };
        if (name == "--help" || name == "-h") {
            flag();
            o.help = true;
        } else if (name == "--device") {
            o.device = take();
        } else if (name == "--link") {
            o.link = take();
        } else if (name == "--baud") {
            const std::string v = take();
            o.baud = static_cast<int>(Number(v, 1, 4000000, "--baud"));
            if (BaudToSpeed(o.baud) == B0)
                Fail("--baud: " + v + " is not a standard speed (1200, 2400, 4800, 9600, 19200, 38400, 57600, "
                                      "115200, 230400, 460800, 921600)");
        } else if (name == "--address") {
            ParseAddressList(take(), o.addresses);
        } else if (name == "--mask") {
            ParseMask(take(), o);
        } else if (name == "--foreign") {
            ParseForeign(take(), o);
        } else if (name == "--seed") {
            o.seed = static_cast<uint64_t>(Number(take(), 0, 0x7FFFFFFFFFFFFFFFll, "--seed"));
        } else if (name == "--still") {
            flag();
            o.still = true;
        } else if (name == "--latency") {
            const std::string v = take();
            const auto ms = ParseDouble(v);
            if (!ms.second || ms.first < 0 || ms.first > 60000)
                Fail("--latency takes milliseconds from 0 to 60000, not \"" + v + "\"");
            o.latencyMs = ms.first;
        } else if (name == "--turnaround") {
            o.turnaroundMs = static_cast<int>(Number(take(), 0, 60000, "--turnaround"));
        } else if (name == "--fault") {
            if (faultGiven)
                Fail("--fault may be given once");
            o.fault = ParseFault(take());
            faultGiven = true;
        } else if (name == "--control") {
            o.control = take();
        } else if (name == "--command") {
            o.command = take();
        } else if (name == "--archive-out") {
            o.archiveOut = take();
        } else if (name == "--dump") {
            flag();
            o.dump = true;
        } else if (name == "--verbose" || name == "-v") {
            flag();
            o.verbose = true;
        } else {
            Fail("unknown option \"" + args[i] + "\" (see --help)");
        }
    }
    if (o.addresses.empty())
        o.addresses.push_back(1);
    std::sort(o.addresses.begin(), o.addresses.end());
    o.addresses.erase(std::unique(o.addresses.begin(), o.addresses.end()), o.addresses.end());
    for (const auto& m : o.masks) {
        if (!std::binary_search(o.addresses.begin(), o.addresses.end(), m.first))
            Fail(my::Format("--mask %u:...: no instrument has the address %u", m.first, m.first));
    }
    for (const auto& f : o.foreign) {
        if (std::binary_search(o.addresses.begin(), o.addresses.end(), f.first))
            Fail(my::Format("--foreign %u: an instrument has that address already", f.first));
    }
    if (!o.command.empty() && o.control.empty())
        Fail("--command needs --control PATH: the control socket of the running simulator");
    return o;
}

std::string HelpText()
{
    return R"(kalist8-sim: a КАЛИСТ-8 instrument simulator on a serial line.

It answers Modbus RTU requests as one or several КАЛИСТ-8 instruments do,
so that kalist8 can be run, tested, shown and learnt without an instrument.

Usage:
  kalist8-sim [options]                    serve a line until stopped
  kalist8-sim --dump [options]             show the instruments and their
                                           registers, then end
  kalist8-sim --control PATH --command C   send command C to a running
                                           simulator, show its reply, end

The line:
  (no --device)       Make a new pseudo-terminal. Its path (/dev/pts/N) is
                      the first line the simulator writes on standard output;
                      give that path to kalist8 (KALIST8_COM1=/dev/pts/N, or
                      COM1=/dev/pts/N in section [PORTS] of comports.ini).
  --link PATH         Also make a symbolic link PATH to the pseudo-terminal,
                      so that the port name can stay the same from run to
                      run. An existing link is replaced; any other file there
                      is left alone and the simulator does not start.
  --device PATH       Serve an existing serial device instead, e.g. a USB
                      adapter wired to the PC's port: /dev/ttyUSB0.
  --baud N            Line speed, 8 data bits, no parity, 1 stop bit; default
                      9600. Answers are paced at this speed (about 1.04 ms per
                      byte at 9600) even on a pseudo-terminal, which has no
                      speed of its own.

The instruments:
  --address LIST      Network addresses of the instruments on the line, e.g.
                      1  or  1,2,5-7 ; may be given several times; default 1.
  --seed N            Number that the whole simulation follows: which
                      channels each instrument has, what they measure, how
                      their values move, its archive, the random fault mix.
                      The same seed gives the same instruments; default 1.
  --mask MASK         Channel mask of every instrument (bit n = channel n,
                      0..15), e.g. 0x000F for channels 0 to 3. Without it the
                      seed chooses (3 to 7 channels).
  --mask ADDR:MASK    Channel mask of the instrument at ADDR only.
  --still             Keep every value at its starting reading instead of
                      letting it drift; --dump then shows what is served.
  --foreign ADDR[:CODE]
                      Another Modbus device on the line, not an instrument:
                      it answers every request to ADDR with exception CODE
                      (02). May be given several times.

  Each channel measures a quantity of the sample catalogue beside the
  program (vars.ini, units.ini, scales.ini): CH4, CO, O2, H2S, CO2, NO2, SO2,
  NH3, Температура, Давление, with its unit and scale. Values drift slowly
  and smoothly within the scale. About every other instrument has one broken
  sensor: that channel reads FF FF FF FF (no value).

  Zero correction: command 1 (function 0x16) sets the instrument's zero
  correction to its argument; from then on the instrument SUBTRACTS it from
  every value it reports (live values, not the archive). Sending 0 removes
  it. A broadcast (address 0) command is carried out by every instrument on
  the line, and none answers it.

What the instruments answer:
  function 3     holding registers: 0..31 channel values (channel n in
                 2n and 2n+1, BCD), 32..34 the last command written,
                 52 the channel mask, 64+10n and 65+10n the descriptor of
                 channel n (unit code, quantity code; scale code, 0).
                 Any other register: exception 02. Count 0 or above 125:
                 exception 03.
  function 0x16  data 00 20 00 03 06, command code, BCD argument: answer
                 00 20 00 03. Other first register or count: exception 02.
  function 0x41  no data: the 9800-byte archive (200 records of 49 bytes;
                 some erased, cleared or damaged).
  other          exception 01.
  Requests to other addresses and broadcasts get no answer; requests with a
  wrong CRC are ignored. A request ends when the line has been silent for
  3.5 characters (1.75 ms above 19200 baud); bytes that arrive while an
  answer is on its way are lost, as on a half-duplex RS-485 line.

Timing and faults:
  --latency MS        Pause between the end of a request (the silence
                      above) and the first answer byte; default 5.
  --turnaround MS     A request that starts sooner than MS ms after the end
                      of the last answer is lost, as with an RS-485
                      transceiver that has not yet released the line;
                      default 0.
  --fault FAULT       Start with this fault in force (change it later with
                      the fault command). Faults:
)" + FaultHelp() +
           R"(
Control while it runs:
  --control PATH      Listen for commands on a Unix-domain socket at PATH.
                      Each command is one line; the simulator replies with
                      one line starting "ok" or "error:" once the command
                      has taken effect. Commands can also be typed on
                      standard input (the replies appear on standard output).
  --command TEXT      With --control: send TEXT to the simulator listening
                      there, print its reply and end (exit 0 for "ok").
  Commands:
    fault [FAULT]     show or set the fault (a list is above); a new fault
                      applies to every request that ends after the reply
    drop [MS|forever] pull the cable now: the pseudo-terminal is closed (its
                      readers see a hang-up: reads return end of file,
                      writes fail, and its path is gone: opening it again
                      fails) and the link removed; after MS ms (1000)
                      a new pseudo-terminal is made, the link points at it
                      and "line up PATH" is printed. Its path may differ.
                      A device is closed and opened again.
    restore           end a drop now
    line              show "line up PATH" or "line down"
    latency [MS]      show or set the answer latency
    counts            print the counts
    quit              end as on Ctrl+C

Other options:
  --archive-out PATH  Write each instrument's archive block (9800 bytes, as
                      function 0x41 sends it) to PATH before serving; with
                      several instruments to PATH.ADDRESS each.
  --dump              Print the instruments, their channels and every
                      register of the map (values at the start), then end.
  --verbose, -v       Log every request and answer on standard error.
  --help, -h          This text.

Output: the first line on standard output is the path of the line (for a
pseudo-terminal, /dev/pts/N); later lines: "line down", "line up PATH",
replies to typed commands and the counts. The instruments are described on
standard error. Ctrl+C, SIGTERM or SIGHUP end the simulator in order: the
counts of what it served (requests per function and address, answers,
faults injected, bytes) are printed and it exits with 0. SIGUSR1 prints the
counts and goes on.
)";
}

} // namespace sim
