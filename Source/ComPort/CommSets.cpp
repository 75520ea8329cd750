#include "ComPort/CommSets.h"

#include "ComPort/MyDCBHelper.h"
#include "ComPort/PortMap.h"
#include "ProgramFiles.h"
#include "VCLUtils/IniFile.h"

#include <loki/Singleton.h>

#include <algorithm>

namespace my::Comm {

namespace {

DCB BuiltInDCB()
{
    DCB d{};
    d.DCBlength = sizeof(DCB);
    d.BaudRate = 9600;
    d.fBinary = 1;
    d.XonLim = 256;
    d.XoffLim = 256;
    d.ByteSize = 8;
    d.Parity = 0;
    d.StopBits = 0;
    d.XonChar = 17;
    d.XoffChar = 19;
    d.ErrorChar = static_cast<char>(192);
    return d;
}

const COMMTIMEOUTS kBuiltInTimeouts = {1000, 50, 100, 100, 1000};

struct TimeoutKey {
    const char* name;
    uint32_t COMMTIMEOUTS::*field;
};
const TimeoutKey kTimeoutKeys[] = {
    {"ReadIntervalTimeout", &COMMTIMEOUTS::ReadIntervalTimeout},
    {"ReadTotalTimeoutMultiplier", &COMMTIMEOUTS::ReadTotalTimeoutMultiplier},
    {"ReadTotalTimeoutConstant", &COMMTIMEOUTS::ReadTotalTimeoutConstant},
    {"WriteTotalTimeoutMultiplier", &COMMTIMEOUTS::WriteTotalTimeoutMultiplier},
    {"WriteTotalTimeoutConstant", &COMMTIMEOUTS::WriteTotalTimeoutConstant},
};

const uint32_t kDefaultBuffSize = 1024;

// A port is present when the device its number is mapped to is a terminal
// device now; the machine's new serial devices get their numbers first.
std::vector<unsigned> ScanPresentPorts()
{
    std::vector<unsigned> present;
    for (unsigned n : MappedPresentPorts())
        if (n >= 1 && n <= 9)
            present.push_back(n);
    std::sort(present.begin(), present.end());
    present.erase(std::unique(present.begin(), present.end()), present.end());
    return present;
}

void WriteUnsigned(my::IniFile& ini, const std::string& section, const char* key, uint32_t v)
{
    ini.WriteString(section, key, std::to_string(v));
}

uint32_t ReadUnsigned(const my::IniFile& ini, const std::string& section, const char* key, uint32_t def)
{
    return static_cast<uint32_t>(ini.ReadInteger(section, key, static_cast<int>(def)));
}

std::string SectionOf(unsigned portNumber) { return "COM" + std::to_string(portNumber); }

} // namespace

PortSetsT::PortSetsT()
    : txdBuffSize(kDefaultBuffSize), rxdBuffSize(kDefaultBuffSize), dcb(BuiltInDCB()), timeouts(kBuiltInTimeouts)
{
}

ModuleVariablesT::ModuleVariablesT()
    : dcb_(BuiltInDCB()), timeouts_(kBuiltInTimeouts), present_(ScanPresentPorts())
{
}

std::vector<unsigned> ModuleVariablesT::PresentPorts() const
{
    std::lock_guard<std::mutex> lock(presentMutex_);
    return present_;
}

std::vector<unsigned> ModuleVariablesT::Rescan()
{
    std::vector<unsigned> now = ScanPresentPorts();
    std::lock_guard<std::mutex> lock(presentMutex_);
    present_ = now;
    return now;
}

ModuleVariablesT& ModuleVariables()
{
    return Loki::SingletonHolder<ModuleVariablesT, Loki::CreateUsingNew, Loki::NoDestroy,
                                 Loki::SingleThreaded>::Instance();
}

DCB DefaultDCB() { return ModuleVariables().DefaultDCB(); }
COMMTIMEOUTS DefaultTimeouts() { return ModuleVariables().DefaultTimeouts(); }
std::vector<unsigned> PresentPorts() { return ModuleVariables().PresentPorts(); }

bool IsPortPresent(unsigned number)
{
    const auto ports = ModuleVariables().PresentPorts();
    return std::find(ports.begin(), ports.end(), number) != ports.end();
}

std::vector<unsigned> RescanPresentPorts() { return ModuleVariables().Rescan(); }

void WritePortSets(const PortSetsT& sets, my::IniFile& ini, const std::string& section)
{
    for (unsigned i = 0; i < DCB_FIELDS_COUNT; ++i)
        WriteUnsigned(ini, section, DCBFieldName(i), GetDCBField(sets.dcb, i));
    for (const auto& k : kTimeoutKeys)
        WriteUnsigned(ini, section, k.name, sets.timeouts.*k.field);
    WriteUnsigned(ini, section, "txdBuffSize", sets.txdBuffSize);
    WriteUnsigned(ini, section, "rxdBuffSize", sets.rxdBuffSize);
}

void ReadPortSets(PortSetsT& sets, const my::IniFile& ini, const std::string& section)
{
    const DCB defDcb = DefaultDCB();
    const COMMTIMEOUTS defTimeouts = DefaultTimeouts();
    for (unsigned i = 0; i < DCB_FIELDS_COUNT; ++i)
        SetDCBField(ReadUnsigned(ini, section, DCBFieldName(i), GetDCBField(defDcb, i)), sets.dcb, i);
    for (const auto& k : kTimeoutKeys)
        sets.timeouts.*k.field = ReadUnsigned(ini, section, k.name, defTimeouts.*k.field);
    sets.txdBuffSize = ReadUnsigned(ini, section, "txdBuffSize", kDefaultBuffSize);
    sets.rxdBuffSize = ReadUnsigned(ini, section, "rxdBuffSize", kDefaultBuffSize);
}

std::string PortSetsFilePath() { return GetUserConfigDir() + "MyCommPortsSetings.ini"; }

void SavePortSetsToFile(unsigned portNumber, const PortSetsT& sets)
{
    EnsureUserConfigDir();
    my::IniFile ini(PortSetsFilePath());
    WritePortSets(sets, ini, SectionOf(portNumber));
}

void LoadPortSetsFromFile(unsigned portNumber, PortSetsT& sets)
{
    my::IniFile ini(PortSetsFilePath());
    ReadPortSets(sets, ini, SectionOf(portNumber));
}

} // namespace my::Comm
