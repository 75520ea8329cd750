#include "TestUtils.h"

#include "ProgramFiles.h"
#include "VCLUtils/IniFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A child process running a copy of sleep(1) under the given file name.
class NamedProcess {
public:
    NamedProcess(const TempDir& dir, const std::string& name)
    {
        const std::string exe = dir.File(name);
        std::filesystem::copy_file("/bin/sleep", exe);
        pid_ = fork();
        if (pid_ == 0) {
            execl(exe.c_str(), name.c_str(), "30", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Ready once the kernel shows the new image under its name.
        for (int i = 0; i < 5000; ++i) {
            char buf[4096];
            const ssize_t n = readlink(("/proc/" + std::to_string(pid_) + "/exe").c_str(), buf, sizeof buf);
            if (n > 0 && std::string(buf, static_cast<size_t>(n)) == exe)
                break;
            usleep(1000);
        }
    }
    ~NamedProcess()
    {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }

    pid_t Pid() const { return pid_; }

private:
    pid_t pid_;
};

} // namespace

TEST(ProgramFilesTest, ExecutableDirectoryAndName)
{
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(GetExeName(), "kalist8_core_tests");
    EXPECT_EQ(GetExeDir() + GetExeName(), exe);
    EXPECT_EQ(GetExeDir().back(), '/');
}

TEST(ProgramFilesTest, IniObjectsBesideTheExecutableWhateverTheWorkingDirectory)
{
    const auto cwd = std::filesystem::current_path();
    TempDir elsewhere;
    std::filesystem::current_path(elsewhere.Path());
    EXPECT_EQ(GetForm1Ini().FileName(), GetExeDir() + "form1.ini");
    EXPECT_EQ(GetConfigIni().FileName(), GetExeDir() + "config.ini");
    EXPECT_EQ(GetCommIni().FileName(), GetExeDir() + "comm.ini");
    EXPECT_EQ(&GetCommIni(), &GetCommIni());
    EXPECT_NE(&GetCommIni(), &GetConfigIni());
    std::filesystem::current_path(cwd);
}

TEST(ProgramFilesTest, UserConfigDirectoryFollowsXdg)
{
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/tmp/cfg-x");
        EXPECT_EQ(GetUserConfigDir(), "/tmp/cfg-x/");
    }
    ScopedEnv xdg("XDG_CONFIG_HOME", "");
    ScopedEnv home("HOME", "/home/engineer");
    EXPECT_EQ(GetUserConfigDir(), "/home/engineer/.config/");
}

TEST(SingleInstanceTest, AnotherProcessOfTheSameFileNameIsDetected)
{
    TempDir dir;
    const std::string name = "k8probe" + std::to_string(getpid());
    EXPECT_TRUE(IsOnlyInstanceOf(name, getpid()));
    {
        NamedProcess other(dir, name);
        EXPECT_FALSE(IsOnlyInstanceOf(name, getpid()));
        // Exact, case-sensitive comparison of the file name only.
        EXPECT_TRUE(IsOnlyInstanceOf("K8PROBE" + std::to_string(getpid()), getpid()));
        EXPECT_TRUE(IsOnlyInstanceOf(name + ".exe", getpid()));
    }
    EXPECT_TRUE(IsOnlyInstanceOf(name, getpid()));
}

TEST(SingleInstanceTest, OwnProcessDoesNotCount)
{
    TempDir dir;
    const std::string name = "k8self" + std::to_string(getpid());
    NamedProcess child(dir, name);
    EXPECT_TRUE(IsOnlyInstanceOf(name, child.Pid()));
}

struct XdgCase {
    const char* name;
    const char* xdgData;
    const char* home;
    const char* expected;
};

class UserDataDirTest : public ::testing::TestWithParam<XdgCase> {};

TEST_P(UserDataDirTest, FollowsXdgDataHome)
{
    const XdgCase& c = GetParam();
    ScopedEnv xdg("XDG_DATA_HOME", c.xdgData);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(GetUserDataDir(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Env, UserDataDirTest,
    ::testing::Values(XdgCase{"Set", "/srv/data", "/home/engineer", "/srv/data/kalist8/"},
                      XdgCase{"SetWithSlash", "/srv/data/", "/home/engineer", "/srv/data/kalist8/"},
                      XdgCase{"Unset", "", "/home/engineer", "/home/engineer/.local/share/kalist8/"},
                      XdgCase{"HomeWithSlash", "", "/home/engineer/", "/home/engineer/.local/share/kalist8/"},
                      XdgCase{"RelativeIsIgnored", "data", "/home/engineer", "/home/engineer/.local/share/kalist8/"}),
    [](const ::testing::TestParamInfo<XdgCase>& info) { return std::string(info.param.name); });

// Read-only folders are tested by running the program as another user; a
// folder that is not there cannot be written either.
TEST(ProgramFilesTest, DataFolderIsTheProgramFolderWhenWritable)
{
    TempDir dir;
    ScopedEnv xdg("XDG_DATA_HOME", dir.File("data"));
    EXPECT_EQ(ChooseDataDir(dir.Path()), dir.Path());
    EXPECT_EQ(ChooseDataDir(dir.File("gone/")), dir.File("data/kalist8/"));
    EXPECT_EQ(ChooseDataDir(""), "");
    EXPECT_FALSE(FileExists(dir.File("data"))) << "choosing creates nothing";
    EXPECT_EQ(GetDataDir(), GetExeDir());
}
