#include "PortDoctor/PortHolders.h"

#include "ComPort/SystemRoot.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <unistd.h>

namespace my::PortDoctor {

namespace {

const KnownGrabber kGrabbers[] = {
    {"ModemManager",
     "запущен ModemManager: он опрашивает новые ttyACM и ttyUSB в первые секунды после подключения; исправление: "
     "правило udev ENV{ID_MM_DEVICE_IGNORE}=\"1\" для адаптера или sudo systemctl stop ModemManager"},
    {"brltty",
     "запущен brltty: он захватывает адаптеры CH340 и CP210x; исправление: удалить пакет brltty "
     "(sudo apt remove brltty) или его правила udev"},
};

std::string Resolved(const std::string& path)
{
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

std::string LinkText(const std::string& path)
{
    char buf[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

bool OpenFilesName(const std::string& fdDir, const std::string& device)
{
    DIR* d = opendir(fdDir.c_str());
    if (!d)
        return false; // another user's process
    bool holds = false;
    while (const dirent* e = readdir(d))
        if (e->d_name[0] != '.' && LinkText(fdDir + "/" + e->d_name) == device)
            holds = true;
    closedir(d);
    return holds;
}

} // namespace

std::vector<ProcessEntry> ProcessesHolding(const std::string& devicePath)
{
    std::vector<ProcessEntry> holders;
    const std::string device = Resolved(devicePath);
    if (device.empty())
        return holders;
    const std::string proc = my::Comm::SystemPath("/proc");
    for (const ProcessEntry& p : ListProcesses(proc))
        if (OpenFilesName(proc + "/" + std::to_string(p.pid) + "/fd", device))
            holders.push_back(p);
    return holders;
}

std::vector<KnownGrabber> RunningGrabbers()
{
    std::vector<KnownGrabber> running;
    const std::vector<ProcessEntry> processes = ListProcesses(my::Comm::SystemPath("/proc"));
    for (const KnownGrabber& g : kGrabbers)
        for (const ProcessEntry& p : processes)
            if (p.exeName == g.exeName) {
                running.push_back(g);
                break;
            }
    return running;
}

} // namespace my::PortDoctor
