#pragma once

#include <string>
#include <sys/types.h>

namespace my {
class IniFile;
}

// Directory of the running executable, ending with "/" (empty when unknown).
std::string GetExeDir();
// Where the files the program makes for the user go (downloaded archives,
// recordings), ending with "/": beside the executable.
std::string GetUserFilesDir();
// File name of the running executable, without directory.
std::string GetExeName();

// The user's configuration directory ($XDG_CONFIG_HOME, else ~/.config),
// ending with "/": what the Windows installation keeps in its Windows
// directory lives here.
std::string GetUserConfigDir();
// Creates it with its parents when missing; false when that fails.
bool EnsureUserConfigDir();

// The process-wide settings files beside the executable, created on first
// access and kept until the process ends.
my::IniFile& GetForm1Ini();
my::IniFile& GetConfigIni();
my::IniFile& GetCommIni();

// True when no other process runs from an executable of the same file name
// (exact, case-sensitive, directory ignored).
bool IsOnlyInstance();
bool IsOnlyInstanceOf(const std::string& exeName, pid_t ownPid);
