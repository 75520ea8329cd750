#pragma once

#include <string>
#include <sys/types.h>

namespace my {
class IniFile;
}

// Directory of the running executable, ending with "/" (empty when unknown).
std::string GetExeDir();
// File name of the running executable, without directory.
std::string GetExeName();

// The user's configuration directory ($XDG_CONFIG_HOME, else ~/.config),
// ending with "/": what the Windows installation keeps in its Windows
// directory lives here.
std::string GetUserConfigDir();
// Creates it with its parents when missing; false when that fails.
bool EnsureUserConfigDir();

// The program's folder in the user's data directory ($XDG_DATA_HOME/kalist8,
// else ~/.local/share/kalist8), ending with "/".
std::string GetUserDataDir();

// The folder the program writes its files to (settings, the archive files,
// "Log" and the folders of saved records), ending with "/": exeDir when the
// user may write there (a portable folder, as on Windows), else
// GetUserDataDir(). Nothing is created.
std::string ChooseDataDir(const std::string& exeDir);
// ChooseDataDir(GetExeDir()), decided on the first call and kept for the
// life of the process; a user data folder is created then.
std::string GetDataDir();

// Where a catalogue file ("vars.ini", "units.ini", "scales.ini") is read
// from: userDir when the user has put one there, else programDir.
std::string CatalogueFilePath(const std::string& userDir, const std::string& programDir, const std::string& name);

// The process-wide settings files in GetDataDir(), created on first access
// and kept until the process ends.
my::IniFile& GetForm1Ini();
my::IniFile& GetConfigIni();
my::IniFile& GetCommIni();

// True when no other process runs from an executable of the same file name
// (exact, case-sensitive, directory ignored).
bool IsOnlyInstance();
bool IsOnlyInstanceOf(const std::string& exeName, pid_t ownPid);
