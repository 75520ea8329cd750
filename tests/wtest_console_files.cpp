#include "Excpt/MyExeption.h"
#include "ProgramFiles.h"
#include "TestUtils.h"
#include "VCLUtils/MyDialogs.h"
#include "VCLUtils/MyFileCtrl.h"
#include "WidgetTestUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const char kInner[] = "2010/04_Апрель/6/14_3_9.log";
const std::string kInnerDir = "2010/04_Апрель/6/";
const char kRenameError[] = "Ошибка при переименовании файла.\n";

void MakeExecutable(const std::string& path, const std::string& text)
{
    WriteBytes(path, text);
    chmod(path.c_str(), 0755);
}

std::set<std::string> Names(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

// Runs a program with an argument vector and returns its standard output.
std::string RunForOutput(const std::vector<std::string>& argv, int* exitCode = nullptr)
{
    TempDir tmp;
    const std::string out = tmp.File("out");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int status = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0)
        waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    if (exitCode)
        *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ReadBytes(out);
}

std::string Real7Zip()
{
    for (const char* p : {"/usr/bin/7zz", "/usr/bin/7z"})
        if (access(p, X_OK) == 0)
            return p;
    return std::string();
}

// Error boxes go to message boxes, as in the program; each test answers them.
class LogFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The lookup tries the executable's directory first: the fake PATH
        // only decides when nothing lies there.
        for (const char* name : {"rar", "7zz", "7z"})
            ASSERT_FALSE(FileExists(GetExeDir() + name)) << "an archiver beside the test program: " << name;
        InstallLastWinErrorBox();
        logDir = dir.File("Log/");
        fs::create_directories(logDir);
        snapshot = logDir + "STDOUT.LOG";
        WriteBytes(snapshot, WinText("GUI CON initialized.\nСвязь установлена\n"));
    }
    void TearDown() override { SetLastWinErrorBox(nullptr); }

    // A "rar" that records its working directory and arguments, one a line.
    void FakeRar()
    {
        MakeExecutable(bin.File("rar"),
                       "#!/bin/sh\nprintf '%s\\n' \"$PWD\" \"$@\" > " + dir.File("rar-call") + "\n");
    }

    TempDir dir;
    TempDir bin;
    std::string logDir;
    std::string snapshot;
};

TEST_F(LogFiles, RarMovesTheSnapshotWithTheArgumentsOfTheWindowsProgram)
{
    FakeRar();
    ScopedEnv path("PATH", bin.Path());
    MoveIntoRarArchive(snapshot, kInner, "log.rar");

    const std::string call = ReadBytes(dir.File("rar-call"));
    EXPECT_EQ(call, dir.Path() + "Log\nm\n-mc10t+\n-ap" + kInnerDir + "\nlog.rar\n14_3_9.log\n");
    // The fake does not move anything: the renamed snapshot waits for it.
    EXPECT_EQ(Names(logDir), std::set<std::string>{"14_3_9.log"});
}

TEST_F(LogFiles, SevenZipStoresTheSnapshotUnderItsInnerPathAndDeletesIt)
{
    const std::string sevenZip = Real7Zip();
    ASSERT_FALSE(sevenZip.empty()) << "7-Zip (Debian package 7zip) is needed";
    fs::create_symlink(sevenZip, bin.File("7zz"));
    ScopedEnv path("PATH", bin.Path());
    const std::string bytes = ReadBytes(snapshot);

    MoveIntoRarArchive(snapshot, kInner, "log.rar");
    EXPECT_EQ(Names(logDir), std::set<std::string>{"log.rar"});

    // A second run adds to the same archive.
    WriteBytes(snapshot, WinText("второй\n"));
    MoveIntoRarArchive(snapshot, "2010/04_Апрель/6/14_3_10.log", "log.rar");
    EXPECT_EQ(Names(logDir), std::set<std::string>{"log.rar"});

    ScopedEnv utf8("LC_ALL", "C.UTF-8");
    const std::string archive = logDir + "log.rar";
    const std::string list = RunForOutput({sevenZip, "l", "-slt", "-sccUTF-8", archive});
    EXPECT_NE(list.find("Type = 7z"), std::string::npos) << list;
    EXPECT_NE(list.find("Path = " + std::string(kInner) + "\n"), std::string::npos) << list;
    EXPECT_NE(list.find("Path = 2010/04_Апрель/6/14_3_10.log\n"), std::string::npos) << list;
    int rc = -1;
    EXPECT_EQ(RunForOutput({sevenZip, "e", "-so", "-sccUTF-8", archive, kInner}, &rc), bytes);
    EXPECT_EQ(rc, 0);
}

TEST_F(LogFiles, WithoutArchiverTheSnapshotStaysUnderItsTimeOfDayName)
{
    ScopedEnv path("PATH", bin.Path());
    const std::string bytes = ReadBytes(snapshot);
    MoveIntoRarArchive(snapshot, kInner, "log.rar");
    EXPECT_EQ(Names(logDir), std::set<std::string>{"14_3_9.log"});
    EXPECT_EQ(ReadBytes(logDir + "14_3_9.log"), bytes);
}

TEST_F(LogFiles, SnapshotNameTakenReportsTheRenameAndStartsNoArchiver)
{
    FakeRar();
    ScopedEnv path("PATH", bin.Path());
    WriteBytes(logDir + "14_3_9.log", "earlier run");

    ModalBoxWatcher box;
    MoveIntoRarArchive(snapshot, kInner, "log.rar");

    ASSERT_TRUE(box.Result().shown);
    EXPECT_EQ(box.Result().caption.toStdString(), "Последняя WIN-ошибка.");
    EXPECT_EQ(box.Result().text.toStdString(),
              kRenameError + snapshot + "\n" + logDir + "14_3_9.log\n" + WinErrorText(EEXIST));
    EXPECT_FALSE(FileExists(dir.File("rar-call")));
    EXPECT_EQ(ReadBytes(logDir + "14_3_9.log"), "earlier run");
    EXPECT_TRUE(FileExists(snapshot));
}

TEST_F(LogFiles, EnsureDirectoryCreatesParentsAndReportsFailure)
{
    EXPECT_TRUE(EnsureDirectory(dir.File("a/b/c")));
    EXPECT_TRUE(fs::is_directory(dir.File("a/b/c")));
    EXPECT_TRUE(EnsureDirectory(dir.File("a/b/c/")));  // already there

    const std::string blocked = snapshot + "/sub";
    ModalBoxWatcher box;
    EXPECT_FALSE(EnsureDirectory(blocked));
    ASSERT_TRUE(box.Result().shown);
    EXPECT_EQ(box.Result().text.toStdString(),
              "Ошибка при создании каталога.\n" + blocked + "\n" + WinErrorText(ENOTDIR));
}

TEST_F(LogFiles, RenameCreatesTheTargetDirectoryAndNeverReplaces)
{
    EXPECT_TRUE(RenameFileEnsuringDir(snapshot, dir.File("new/dir/x.log")));
    EXPECT_FALSE(FileExists(snapshot));
    EXPECT_TRUE(FileExists(dir.File("new/dir/x.log")));

    const struct {
        std::string src;
        int error;
    } failures[] = {{dir.File("missing.log"), ENOENT}, {dir.File("other.log"), EEXIST}};
    WriteBytes(dir.File("other.log"), "other");
    for (const auto& f : failures) {
        ModalBoxWatcher box;
        EXPECT_FALSE(RenameFileEnsuringDir(f.src, dir.File("new/dir/x.log")));
        ASSERT_TRUE(box.Result().shown) << f.src;
        EXPECT_EQ(box.Result().text.toStdString(),
                  kRenameError + f.src + "\n" + dir.File("new/dir/x.log") + "\n" + WinErrorText(f.error));
    }
    EXPECT_EQ(ReadBytes(dir.File("new/dir/x.log")), WinText("GUI CON initialized.\nСвязь установлена\n"));
}

TEST(ArchiverLookup, RarFirstThenSevenZipBesideTheProgramThenOnPath)
{
    TempDir exe, p1, p2;
    using K = my::Archiver;
    EXPECT_EQ(my::FindArchiver(exe.Path(), p1.Path() + ":" + p2.Path()).kind, K::None);

    MakeExecutable(p2.File("7z"), "#!/bin/sh\n");
    EXPECT_EQ(my::FindArchiver(exe.Path(), p1.Path() + ":" + p2.Path()).path, p2.File("7z"));
    MakeExecutable(p1.File("7zz"), "#!/bin/sh\n");
    EXPECT_EQ(my::FindArchiver(exe.Path(), p1.Path() + ":" + p2.Path()).path, p1.File("7zz"));
    MakeExecutable(exe.File("7zz"), "#!/bin/sh\n");
    EXPECT_EQ(my::FindArchiver(exe.Path(), p1.Path() + ":" + p2.Path()).path, exe.File("7zz"));

    WriteBytes(p2.File("rar"), "not executable");
    EXPECT_EQ(my::FindArchiver(exe.Path(), p1.Path() + ":" + p2.Path()).kind, K::SevenZip);
    MakeExecutable(p2.File("rar"), "#!/bin/sh\n");
    const my::Archiver rar = my::FindArchiver(exe.Path(), p1.Path() + ":" + p2.Path());
    EXPECT_EQ(rar.kind, K::Rar);
    EXPECT_EQ(rar.path, p2.File("rar"));
    MakeExecutable(exe.File("rar"), "#!/bin/sh\n");
    EXPECT_EQ(my::FindArchiver(exe.Path(), p1.Path() + ":" + p2.Path()).path, exe.File("rar"));
}

} // namespace
