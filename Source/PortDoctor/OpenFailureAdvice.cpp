#include "PortDoctor/OpenFailureAdvice.h"

#include "ComPort/PortMap.h"
#include "PortDoctor/PortHolders.h"
#include "VCLUtils/MyStrUtils.h"

#include <algorithm>
#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace my::PortDoctor {

namespace {

std::string PortName(unsigned n) { return my::Format("COM%u", n); }

std::string UserName()
{
    const passwd* pw = getpwuid(geteuid());
    return pw ? pw->pw_name : std::to_string(geteuid());
}

std::string GroupName(gid_t gid)
{
    const group* g = getgrgid(gid);
    return g ? g->gr_name : std::to_string(gid);
}

// The groups the user database gives this user: what the next login gets.
bool InGroupFile(gid_t gid)
{
    const passwd* pw = getpwuid(geteuid());
    if (!pw)
        return false;
    int count = 64;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<size_t>(count));
        if (getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(static_cast<size_t>(count));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// The groups this process runs with: what the current login got.
bool InSession(gid_t gid)
{
    if (getegid() == gid)
        return true;
    const int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<size_t>(std::max(count, 0)));
    const int got = getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// "crw-rw----" as ls shows it.
std::string ModeText(mode_t mode)
{
    std::string text = S_ISCHR(mode) ? "c" : "-";
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? letters[bit] : '-';
    return text;
}

std::string MappedList()
{
    std::string list;
    for (unsigned n = 1; n <= 9; ++n) {
        const std::string path = my::Comm::PortDevicePath(n);
        if (!path.empty())
            list += (list.empty() ? "" : ", ") + PortName(n) + "=" + path;
    }
    return list.empty() ? "сопоставленных номеров нет" : "сопоставлены " + list;
}

} // namespace

std::string ExplainUnmapped(unsigned n)
{
    const std::string name = PortName(n);
    return my::Format("%s не сопоставлен никакому устройству; %s. Сопоставить: переменная окружения "
                      "KALIST8_%s=<устройство> или строка %s=<устройство> в разделе [PORTS] файла %s",
                      name.c_str(), MappedList().c_str(), name.c_str(), name.c_str(),
                      my::Comm::PortMapFilePath().c_str());
}

std::string ExplainGone(unsigned n, const std::string& path)
{
    return my::Format("%s: устройства %s нет (адаптер отключён); программа ждёт его появления под этим именем и "
                      "возобновит опрос сама",
                      PortName(n).c_str(), path.c_str());
}

std::string ExplainNoAccess(unsigned n, const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return ExplainGone(n, path);
    const std::string group = GroupName(st.st_gid);
    const passwd* owner = getpwuid(st.st_uid);
    std::string text = my::Format("%s: нет доступа к %s (владелец %s, группа %s, права %s)", PortName(n).c_str(),
                                  path.c_str(), owner ? owner->pw_name : std::to_string(st.st_uid).c_str(),
                                  group.c_str(), ModeText(st.st_mode).c_str());
    const std::string user = UserName();
    if ((st.st_mode & 0060) != 0060)
        return text + my::Format("; группе %s чтение и запись не разрешены: права устройства задаёт правило udev "
                                 "(MODE=\"0660\")",
                                 group.c_str());
    if (!InGroupFile(st.st_gid))
        return text + my::Format("; пользователь %s не входит в группу %s. Исправление: sudo usermod -aG %s %s, "
                                 "затем выйти из системы и войти снова",
                                 user.c_str(), group.c_str(), group.c_str(), user.c_str());
    if (!InSession(st.st_gid))
        return text + my::Format("; пользователь %s внесён в группу %s после входа в систему. Исправление: выйти "
                                 "из системы и войти снова",
                                 user.c_str(), group.c_str());
    return text;
}

std::string ExplainBusy(unsigned n, const std::string& path)
{
    std::string holders;
    for (const ProcessEntry& p : ProcessesHolding(path))
        holders += (holders.empty() ? "" : ", ") +
                   (p.pid == getpid() ? std::string("эта же программа")
                                      : my::Format("%s (pid %d)", p.exeName.c_str(), static_cast<int>(p.pid)));
    std::string text = my::Format("%s: %s занят другой программой", PortName(n).c_str(), path.c_str());
    text += holders.empty() ? std::string("; какой, этому пользователю не видно") : "; открыт процессами: " + holders;
    for (const KnownGrabber& g : RunningGrabbers())
        text += std::string("; ") + g.what;
    return text;
}

std::string ExplainOpenFailure(unsigned n, int cause)
{
    const std::string path = my::Comm::PortDevicePath(n);
    if (path.empty())
        return ExplainUnmapped(n);
    struct stat st;
    const bool exists = stat(path.c_str(), &st) == 0;
    switch (cause) {
    case EACCES:
    case EPERM:
        return ExplainNoAccess(n, path);
    case EBUSY:
        return ExplainBusy(n, path);
    default:
        // Not in the list, ENOENT, ENODEV, ENXIO, EIO: the device has gone
        // if it is not there.
        return exists ? std::string() : ExplainGone(n, path);
    }
}

} // namespace my::PortDoctor
