#pragma once

#include "ComPort/WinCommTypes.h"

#include <boost/noncopyable.hpp>

#include <string>
#include <vector>

namespace my {
class IniFile;
}

namespace my::Comm {

// Everything a port is configured with; a plain copyable value.
struct PortSetsT {
    PortSetsT();
    uint32_t txdBuffSize;
    uint32_t rxdBuffSize;
    DCB dcb;
    COMMTIMEOUTS timeouts;
};

// The process-wide serial settings module: built-in defaults and the ports
// present when it was created.
class ModuleVariablesT : boost::noncopyable {
public:
    ModuleVariablesT();
    const DCB& DefaultDCB() const { return dcb_; }
    const COMMTIMEOUTS& DefaultTimeouts() const { return timeouts_; }
    const std::vector<unsigned>& PresentPorts() const { return present_; }

private:
    DCB dcb_;
    COMMTIMEOUTS timeouts_;
    std::vector<unsigned> present_;
};

const ModuleVariablesT& ModuleVariables();
DCB DefaultDCB();
COMMTIMEOUTS DefaultTimeouts();
std::vector<unsigned> PresentPorts();
bool IsPortPresent(unsigned number);

// A settings record as one INI section of 31 unsigned decimal keys.
void WritePortSets(const PortSetsT& sets, my::IniFile& ini, const std::string& section);
// Every field is replaced; missing or malformed keys give the built-in
// defaults, values are truncated to their fields.
void ReadPortSets(PortSetsT& sets, const my::IniFile& ini, const std::string& section);

// The per-port records in "MyCommPortsSetings.ini", sections COM1..COM9.
std::string PortSetsFilePath();
void SavePortSetsToFile(unsigned portNumber, const PortSetsT& sets);
void LoadPortSetsFromFile(unsigned portNumber, PortSetsT& sets);

} // namespace my::Comm
