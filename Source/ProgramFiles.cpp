#include "ProgramFiles.h"

#include "ProcessList.h"
#include "VCLUtils/IniFile.h"

#include <loki/Singleton.h>

#include <QDir>

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace {

std::string ExePath()
{
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

template <const char* Name>
struct ProgramIni : my::IniFile {
    ProgramIni() : my::IniFile(GetExeDir() + Name) {}
};

const char kForm1[] = "form1.ini";
const char kConfig[] = "config.ini";
const char kComm[] = "comm.ini";

template <const char* Name>
my::IniFile& ProgramIniInstance()
{
    return Loki::SingletonHolder<ProgramIni<Name>, Loki::CreateUsingNew, Loki::NoDestroy,
                                 Loki::SingleThreaded>::Instance();
}

} // namespace

std::string GetExeDir()
{
    const std::string path = ExePath();
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(0, slash + 1);
}

std::string GetUserFilesDir() { return GetExeDir(); }

std::string GetExeName()
{
    const std::string path = ExePath();
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(slash + 1);
}

std::string GetUserConfigDir()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string dir;
    if (xdg && *xdg) {
        dir = xdg;
    } else {
        const char* home = std::getenv("HOME");
        dir = std::string(home ? home : "") + "/.config";
    }
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

bool EnsureUserConfigDir() { return QDir().mkpath(QString::fromStdString(GetUserConfigDir())); }

my::IniFile& GetForm1Ini() { return ProgramIniInstance<kForm1>(); }
my::IniFile& GetConfigIni() { return ProgramIniInstance<kConfig>(); }
my::IniFile& GetCommIni() { return ProgramIniInstance<kComm>(); }

bool IsOnlyInstanceOf(const std::string& exeName, pid_t ownPid)
{
    for (const auto& p : ListProcesses())
        if (p.pid != ownPid && p.exeName == exeName)
            return false;
    return true;
}

bool IsOnlyInstance() { return IsOnlyInstanceOf(GetExeName(), getpid()); }
