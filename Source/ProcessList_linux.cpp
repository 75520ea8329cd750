#include "ProcessList.h"

#include <dirent.h>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

std::string BaseName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The kernel marks the link of a replaced executable with this suffix.
std::string WithoutDeletedMark(std::string path)
{
    const std::string mark = " (deleted)";
    if (path.size() > mark.size() && path.compare(path.size() - mark.size(), mark.size(), mark) == 0)
        path.resize(path.size() - mark.size());
    return path;
}

// Other users' processes hide their exe link; their command line still
// names the program.
std::string ExeNameOf(const std::string& procDir)
{
    char buf[4096];
    const ssize_t n = readlink((procDir + "/exe").c_str(), buf, sizeof buf - 1);
    if (n > 0)
        return BaseName(WithoutDeletedMark(std::string(buf, static_cast<size_t>(n))));
    std::ifstream cmdline(procDir + "/cmdline", std::ios::binary);
    std::string first;
    std::getline(cmdline, first, '\0');
    return BaseName(first);
}

} // namespace

std::vector<ProcessEntry> ListProcesses(const std::string& procDir)
{
    std::vector<ProcessEntry> list;
    DIR* proc = opendir(procDir.c_str());
    if (!proc)
        return list;
    while (dirent* d = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(d->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        const std::string name = ExeNameOf(procDir + "/" + d->d_name);
        if (!name.empty())
            list.push_back({static_cast<pid_t>(pid), name});
    }
    closedir(proc);
    return list;
}
