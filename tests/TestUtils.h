#pragma once

#include <map>
#include <string>
#include <vector>

// A fresh directory that is removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // The directory, ending with "/".
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// UTF-8 text as the Windows installation stores it: Windows-1251, CRLF.
std::string WinText(const std::string& utf8WithLf);

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool had_;
    std::string old_;
};

// This process's environment with some variables set or replaced, in the
// form posix_spawn takes.
class ChildEnvironment {
public:
    explicit ChildEnvironment(const std::map<std::string, std::string>& overrides);
    ChildEnvironment(const ChildEnvironment&) = delete;
    ChildEnvironment& operator=(const ChildEnvironment&) = delete;
    char** Envp() { return envp_.data(); }

private:
    std::vector<std::string> text_;
    std::vector<char*> envp_;
};

// Runs this test program again under LC_ALL=locale with only the (disabled)
// tests the filter names and the extra environment; a success when at
// least one ran and all passed, with the child's output otherwise. A
// prefix runs it through another program (its first word looked up in
// PATH), e.g. setpriv to run it as another user.
bool RunSelfInLocale(const std::string& locale, const std::string& filter,
                     const std::map<std::string, std::string>& env, std::string* output,
                     const std::vector<std::string>& prefix = {});

// Death tests re-run the test program rather than fork it while the object
// lives: a program with threads of its own must not fork.
class ThreadsafeDeathTests {
public:
    ThreadsafeDeathTests();
    ~ThreadsafeDeathTests();
    ThreadsafeDeathTests(const ThreadsafeDeathTests&) = delete;
    ThreadsafeDeathTests& operator=(const ThreadsafeDeathTests&) = delete;

private:
    const std::string old_;
};
