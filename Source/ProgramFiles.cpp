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
    ProgramIni() : my::IniFile(GetDataDir() + Name) {}
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

// A base directory of the user's: the variable when it holds an absolute
// path (relative ones are to be ignored), else the fallback below $HOME.
std::string XdgBaseDir(const char* variable, const char* belowHome)
{
    const char* xdg = std::getenv(variable);
    std::string dir;
    if (xdg && *xdg == '/') {
        dir = xdg;
    } else {
        const char* home = std::getenv("HOME");
        dir = home ? home : "";
        if (!dir.empty() && dir.back() == '/')
            dir.pop_back();
        dir += belowHome;
    }
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

} // namespace

std::string GetExeDir()
{
    const std::string path = ExePath();
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(0, slash + 1);
}

std::string GetExeName()
{
    const std::string path = ExePath();
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(slash + 1);
}

std::string GetUserConfigDir() { return XdgBaseDir("XDG_CONFIG_HOME", "/.config"); }

bool EnsureUserConfigDir() { return QDir().mkpath(QString::fromStdString(GetUserConfigDir())); }

std::string GetUserDataDir() { return XdgBaseDir("XDG_DATA_HOME", "/.local/share") + "kalist8/"; }

std::string ChooseDataDir(const std::string& exeDir)
{
    // No directory known: the files go by their bare names, as they always did.
    if (exeDir.empty() || access(exeDir.c_str(), W_OK) == 0)
        return exeDir;
    return GetUserDataDir();
}

std::string GetDataDir()
{
    static const std::string dir = [] {
        const std::string exeDir = GetExeDir();
        const std::string chosen = ChooseDataDir(exeDir);
        if (chosen != exeDir)
            QDir().mkpath(QString::fromStdString(chosen));
        return chosen;
    }();
    return dir;
}

std::string CatalogueFilePath(const std::string& userDir, const std::string& programDir, const std::string& name)
{
    const std::string own = userDir + name;
    return access(own.c_str(), F_OK) == 0 ? own : programDir + name;
}

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
