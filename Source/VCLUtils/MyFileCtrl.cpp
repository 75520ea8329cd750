#include "VCLUtils/MyFileCtrl.h"

#include "Excpt/MyExeption.h"
#include "ProgramFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Directory part with its trailing "/", or "" when there is none.
std::string DirPartWithSlash(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsExecutableFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// mkdir for every missing piece of the path; errno tells why it failed.
bool MakePath(const std::string& dir)
{
    if (dir.empty()) {
        errno = ENOENT;
        return false;
    }
    for (size_t pos = dir.find('/', 1);; pos = dir.find('/', pos + 1)) {
        const std::string piece = dir.substr(0, pos);
        if (mkdir(piece.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
        if (pos == std::string::npos)
            break;
    }
    if (!IsDirectory(dir)) {
        // EEXIST from mkdir when a file holds the name; say what is wrong.
        if (errno == EEXIST || errno == 0)
            errno = ENOTDIR;
        return false;
    }
    return true;
}

// rename() that fails with EEXIST instead of replacing the target, as a
// Windows move does. Falls back to link+unlink on file systems without
// RENAME_NOREPLACE, and to a check before rename() where even links are
// missing (FAT).
int RenameNoReplace(const std::string& src, const std::string& dst)
{
    if (renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return -1;
    if (link(src.c_str(), dst.c_str()) == 0)
        return unlink(src.c_str());
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return -1;
    if (access(dst.c_str(), F_OK) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(src.c_str(), dst.c_str());
}

std::vector<std::string> SplitPathVar(const std::string& pathVar)
{
    std::vector<std::string> dirs;
    size_t start = 0;
    while (start <= pathVar.size()) {
        size_t end = pathVar.find(':', start);
        if (end == std::string::npos)
            end = pathVar.size();
        // An empty entry would mean the current directory: never look there.
        if (end > start)
            dirs.push_back(pathVar.substr(start, end - start));
        start = end + 1;
    }
    return dirs;
}

std::string FindProgram(const std::string& name, const std::string& exeDir, const std::string& pathVar)
{
    if (!exeDir.empty() && IsExecutableFile(exeDir + name))
        return exeDir + name;
    for (const auto& dir : SplitPathVar(pathVar)) {
        const std::string candidate = dir + (dir.back() == '/' ? "" : "/") + name;
        if (IsExecutableFile(candidate))
            return candidate;
    }
    return std::string();
}

struct SpawnRequest {
    std::string program;
    std::vector<std::string> args;
    std::string workDir;
    std::string stdinFile;  // empty: inherited
    bool quietStdout = false;
};

// Starts the program with an argument vector (no shell) and waits for it
// without a time limit. Its exit code, or -1 when it could not be started
// or did not exit normally.
int RunAndWait(const SpawnRequest& r)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!r.stdinFile.empty())
        posix_spawn_file_actions_addopen(&actions, 0, r.stdinFile.c_str(), O_RDONLY, 0);
    if (r.quietStdout)
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, r.workDir.c_str());

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(r.program.c_str()));
    for (const auto& a : r.args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int rc = posix_spawn(&pid, r.program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;

    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

bool EnsureDirectory(const std::string& dir)
{
    errno = 0;
    if (MakePath(dir))
        return true;
    ShowLastWinError("Ошибка при создании каталога.\n" + dir + "\n");
    return false;
}

bool RenameFileEnsuringDir(const std::string& src, const std::string& dst)
{
    const std::string dstDir = my::ExtractFileDir(dst);
    if (!dstDir.empty() && !EnsureDirectory(dstDir))
        return false;
    errno = 0;
    if (RenameNoReplace(src, dst) == 0)
        return true;
    ShowLastWinError("Ошибка при переименовании файла.\n" + src + "\n" + dst + "\n");
    return false;
}

std::string my::ExtractFileDir(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return std::string();
    return slash == 0 ? "/" : path.substr(0, slash);
}

my::Archiver my::FindArchiver(const std::string& exeDir, const std::string& pathVar)
{
    const struct {
        const char* name;
        Archiver::Kind kind;
    } candidates[] = {{"rar", Archiver::Rar}, {"7zz", Archiver::SevenZip}, {"7z", Archiver::SevenZip}};
    for (const auto& c : candidates) {
        const std::string path = FindProgram(c.name, exeDir, pathVar);
        if (!path.empty())
            return Archiver{c.kind, path};
    }
    return Archiver();
}

std::vector<std::string> my::ArchiverArguments(Archiver::Kind kind, const std::string& innerPath,
                                               const std::string& archiveName, const std::string& entryName)
{
    switch (kind) {
    case Archiver::Rar:
        // m: move (the file is deleted once stored); -mc10t+: text
        // compression of order 10; -ap: the path inside the archive.
        return {"m", "-mc10t+", "-ap" + innerPath, archiveName, entryName};
    case Archiver::SevenZip:
        // 7-Zip keeps the path given on its command line, so the entry comes
        // from standard input under its full inner name instead of being laid
        // out in directories first; the caller deletes it after success.
        return {"a", "-t7z", "-bso0", "-bsp0", "-si" + innerPath + entryName, archiveName};
    case Archiver::None:
        break;
    }
    return {};
}

void MoveIntoRarArchive(const std::string& file, const std::string& innerPathAndName,
                        const std::string& archiveName)
{
    std::string workDir = DirPartWithSlash(file);
    if (workDir.empty())
        workDir = "./";
    const std::string entryName = NamePart(innerPathAndName);
    const std::string innerPath = DirPartWithSlash(innerPathAndName);

    // The archiver runs in the file's directory; the program's own current
    // directory stays as it is.
    if (!IsDirectory(workDir) || access(workDir.c_str(), X_OK) != 0)
        return;
    const std::string entryPath = workDir + entryName;
    if (!RenameFileEnsuringDir(file, entryPath))
        return;

    const char* pathVar = std::getenv("PATH");
    const my::Archiver archiver = my::FindArchiver(GetExeDir(), pathVar ? pathVar : "");
    if (archiver.kind == my::Archiver::None)
        return;

    SpawnRequest r;
    r.program = archiver.path;
    r.args = my::ArchiverArguments(archiver.kind, innerPath, archiveName, entryName);
    r.workDir = workDir;
    if (archiver.kind == my::Archiver::SevenZip) {
        r.stdinFile = entryPath;
        r.quietStdout = true;
    }
    const int exitCode = RunAndWait(r);
    if (archiver.kind == my::Archiver::SevenZip && exitCode == 0)
        unlink(entryPath.c_str());
}
