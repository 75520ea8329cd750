#include "TestUtils.h"

#include "VCLUtils/Cp1251.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

TempDir::TempDir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "kalist8-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl + "/";
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << bytes;
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string WinText(const std::string& utf8WithLf)
{
    std::string crlf;
    for (char c : utf8WithLf) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    return my::Utf8ToCp1251(crlf);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name)
{
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_)
        old_ = old;
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv()
{
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

ThreadsafeDeathTests::ThreadsafeDeathTests() : old_(GTEST_FLAG_GET(death_test_style))
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
}

ThreadsafeDeathTests::~ThreadsafeDeathTests() { GTEST_FLAG_SET(death_test_style, old_); }

ChildEnvironment::ChildEnvironment(const std::map<std::string, std::string>& overrides)
{
    std::map<std::string, std::string> all;
    for (char** e = environ; *e; ++e) {
        const std::string kv = *e;
        const auto eq = kv.find('=');
        all[kv.substr(0, eq)] = eq == std::string::npos ? "" : kv.substr(eq + 1);
    }
    for (const auto& [k, v] : overrides)
        all[k] = v;
    for (const auto& [k, v] : all)
        text_.push_back(k + "=" + v);
    for (auto& s : text_)
        envp_.push_back(s.data());
    envp_.push_back(nullptr);
}

bool RunSelfInLocale(const std::string& locale, const std::string& filter,
                     const std::map<std::string, std::string>& env, std::string* output,
                     const std::vector<std::string>& prefix)
{
    TempDir dir;
    const std::string out = dir.File("out");
    std::map<std::string, std::string> all = env;
    all["LC_ALL"] = locale;
    ChildEnvironment childEnv(all);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> words = prefix;
    words.push_back(std::filesystem::read_symlink("/proc/self/exe").string());
    words.push_back("--gtest_filter=" + filter);
    words.push_back("--gtest_also_run_disabled_tests");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), childEnv.Envp());
    posix_spawn_file_actions_destroy(&actions);
    int status = -1;
    if (rc == 0)
        waitpid(pid, &status, 0);
    *output = ReadBytes(out);
    return rc == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
           output->find("[  PASSED  ] ") != std::string::npos && output->find("[  PASSED  ] 0 tests") == std::string::npos;
}
