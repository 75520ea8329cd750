#pragma once

#include "ComPort/WinCommTypes.h"

#include <boost/noncopyable.hpp>

#include <mutex>
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
// present when the list was last built (at creation and at each rescan).
class ModuleVariablesT : boost::noncopyable {
public:
    ModuleVariablesT();
    const DCB& DefaultDCB() const { return dcb_; }
    const COMMTIMEOUTS& DefaultTimeouts() const { return timeouts_; }
    std::vector<unsigned> PresentPorts() const;
    // Builds the list again (new devices get their numbers first) and
    // returns it. The dialog rescans on the main thread, a failing open on
    // the worker: the list has a lock of its own.
    std::vector<unsigned> Rescan();

private:
    DCB dcb_;
    COMMTIMEOUTS timeouts_;
    mutable std::mutex presentMutex_;
    std::vector<unsigned> present_;
};

ModuleVariablesT& ModuleVariables();
DCB DefaultDCB();
COMMTIMEOUTS DefaultTimeouts();
std::vector<unsigned> PresentPorts();
bool IsPortPresent(unsigned number);
// The present-port list built again now: sysfs and /dev are read, no port
// is opened.
std::vector<unsigned> RescanPresentPorts();

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
