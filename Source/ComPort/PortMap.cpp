#include "ComPort/PortMap.h"

#include "ComPort/SystemRoot.h"

#include "Excpt/MyExeption.h"
#include "ProgramFiles.h"
#include "VCLUtils/IniFile.h"

#include <linux/serial.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace my::Comm {

namespace {

const char* const kSection = "PORTS";
const unsigned kLastPort = 9;

std::string Key(unsigned n) { return "COM" + std::to_string(n); }

DeviceScanFn& ScanSource()
{
    static DeviceScanFn scan;
    return scan;
}

std::vector<std::string> ScanDevices() { return ScanSource() ? ScanSource()() : FindSerialDevices(); }

std::string Resolved(const std::string& path)
{
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

std::vector<std::string> DirEntries(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// /dev/<prefix><number> nodes in the order of their numbers.
std::vector<std::string> NumberedNodes(const std::string& prefix)
{
    std::vector<std::pair<long, std::string>> nodes;
    for (const auto& name : DirEntries(SystemPath("/dev"))) {
        const std::string rest = name.substr(std::min(prefix.size(), name.size()));
        if (name.compare(0, prefix.size(), prefix) != 0 || rest.empty()
            || !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        nodes.emplace_back(std::strtol(rest.c_str(), nullptr, 10), SystemPath("/dev/" + name));
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> paths;
    for (const auto& n : nodes)
        paths.push_back(n.second);
    return paths;
}

// The UART type the serial core reports (what TIOCGSERIAL calls type), from
// sysfs: opening the port to ask would raise its modem lines. The serial
// core lists every possible ttyS port; those without a UART are PORT_UNKNOWN.
bool HasUart(const std::string& node)
{
    const std::string name = node.substr(node.find_last_of('/') + 1);
    std::ifstream attr(SystemPath("/sys/class/tty/" + name + "/type"));
    int type = PORT_UNKNOWN;
    return attr >> type && type != PORT_UNKNOWN;
}

// The terminals the kernel writes its console to ("ttyS0" in a virtual
// machine): the system's, not a free port.
std::set<std::string> ConsoleTerminals()
{
    std::ifstream active(SystemPath("/sys/class/tty/console/active"));
    std::set<std::string> names;
    for (std::string name; active >> name;)
        names.insert(name);
    return names;
}

// A major/minor range of /proc/tty/drivers ("136 0-1048575"), not one of
// the system's own entries (/dev/tty, /dev/console, /dev/ptmx).
bool DriverLineHolds(const std::string& line, unsigned major, unsigned minor)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    if (words.size() < 5 || words.back().compare(0, 6, "system") == 0)
        return false;
    const std::string& range = words[words.size() - 2];
    const unsigned driverMajor = std::strtoul(words[words.size() - 3].c_str(), nullptr, 10);
    const auto dash = range.find('-');
    const unsigned first = std::strtoul(range.c_str(), nullptr, 10);
    const unsigned last = dash == std::string::npos ? first : std::strtoul(range.c_str() + dash + 1, nullptr, 10);
    return driverMajor == major && minor >= first && minor <= last;
}

} // namespace

std::string PortMapFilePath() { return GetUserConfigDir() + "comports.ini"; }

std::string PortDevicePath(unsigned portNumber)
{
    const char* env = std::getenv(("KALIST8_" + Key(portNumber)).c_str());
    if (env && *env)
        return env;
    return my::IniFile(PortMapFilePath()).ReadString(kSection, Key(portNumber), "");
}

std::vector<std::string> FindSerialDevices()
{
    std::vector<std::string> found;
    std::set<std::string> seen;
    const std::set<std::string> consoles = ConsoleTerminals();
    const auto add = [&](const std::string& path) {
        const std::string resolved = Resolved(path);
        const auto onConsole = [&](const std::string& p) { return consoles.count(p.substr(p.find_last_of('/') + 1)); };
        if (!onConsole(path) && !onConsole(resolved) && seen.insert(resolved).second)
            found.push_back(path);
    };
    const std::string byId = SystemPath("/dev/serial/by-id/");
    for (const auto& name : DirEntries(byId))
        add(byId + name);
    for (const char* prefix : {"ttyACM", "ttyUSB"})
        for (const auto& node : NumberedNodes(prefix))
            add(node);
    for (const char* prefix : {"ttyS", "ttyAMA"})
        for (const auto& node : NumberedNodes(prefix))
            if (HasUart(node))
                add(node);
    return found;
}

void SetDeviceScanSource(DeviceScanFn scan) { ScanSource() = std::move(scan); }

void NumberNewDevices()
{
    std::set<std::string> numbered;
    std::vector<unsigned> free;
    for (unsigned n = 1; n <= kLastPort; ++n) {
        const std::string path = PortDevicePath(n);
        if (path.empty())
            free.push_back(n);
        else
            numbered.insert(Resolved(path));
    }
    for (const auto& device : ScanDevices()) {
        if (free.empty())
            return;
        if (!numbered.insert(Resolved(device)).second)
            continue;
        try {
            EnsureUserConfigDir();
            my::IniFile(PortMapFilePath()).WriteString(kSection, Key(free.front()), device);
            free.erase(free.begin());
        } catch (const PMyExcpt&) {
            // Unnumbered until the file can be written; the port list only
            // lacks it.
        }
    }
}

bool IsTerminalDevice(const std::string& path)
{
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    // The kernel's own list, also under a test's system root: the devices of
    // a fake tree lead to real terminals.
    std::ifstream drivers("/proc/tty/drivers");
    if (!drivers)
        return true; // no list to ask; a character device it is
    for (std::string line; std::getline(drivers, line);)
        if (DriverLineHolds(line, major(st.st_rdev), minor(st.st_rdev)))
            return true;
    return false;
}

std::vector<unsigned> MappedPresentPorts()
{
    NumberNewDevices();
    std::vector<unsigned> present;
    for (unsigned n = 1; n <= kLastPort; ++n)
        if (IsTerminalDevice(PortDevicePath(n)))
            present.push_back(n);
    return present;
}

} // namespace my::Comm
