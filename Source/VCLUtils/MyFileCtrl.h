#pragma once

#include <string>
#include <vector>

// Directory creation, moving and archiving for the console log. Failures are
// reported in a message box through ShowLastWinError, with the system's text
// of errno after the prefix.

// True if the directory exists or was created together with all missing
// parents; otherwise reports "Ошибка при создании каталога.\n" + dir + "\n".
bool EnsureDirectory(const std::string& dir);

// Moves src to dst, creating dst's directory first. Never replaces an
// existing dst: that is a failure like any other, reported as
// "Ошибка при переименовании файла.\n" + src + "\n" + dst + "\n".
bool RenameFileEnsuringDir(const std::string& src, const std::string& dst);

// Moves `file` into the archive `archiveName` (relative to the file's
// directory) under innerPathAndName ("2010/04_Апрель/6/14_3_9.log"). The file
// is first renamed to the entry name in its own directory; when no archiver is
// found, or the archiver fails, it stays there under that name. A failed
// rename is reported and the archiver is not started.
void MoveIntoRarArchive(const std::string& file, const std::string& innerPathAndName,
                        const std::string& archiveName);

namespace my {

// The directory part of a path without its trailing "/" ("" when the path
// has none), as the messages above name directories.
std::string ExtractFileDir(const std::string& path);

// The program that stores the log. RAR is used as the Windows installation
// uses it; 7-Zip takes its place where there is no RAR and writes a 7z
// archive under the same name.
struct Archiver {
    enum Kind { None, Rar, SevenZip };
    Kind kind = None;
    std::string path;
};

// "rar" beside the executable or in a directory of pathVar (a PATH value),
// else "7zz", else "7z", each looked for the same way.
Archiver FindArchiver(const std::string& exeDir, const std::string& pathVar);

// The argument vector (without the program) that moves entryName, found in
// the archiver's working directory, into archiveName under innerPath
// (which ends with "/").
std::vector<std::string> ArchiverArguments(Archiver::Kind kind, const std::string& innerPath,
                                           const std::string& archiveName, const std::string& entryName);

} // namespace my
