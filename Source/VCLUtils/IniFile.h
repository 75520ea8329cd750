#pragma once

#include <string>
#include <vector>

namespace my {

// An INI file read and written by the rules of the Windows profile functions:
// section and key names compare case-insensitively (Cyrillic too), blanks
// around names and values are ignored, ";" starts a comment line.
//
// The object keeps no copy of the file: every read sees the file as it is on
// disk now, and every write changes only its own line (or adds it) and
// replaces the file at once through a temporary file in the same directory.
// The file is Windows-1251 with CRLF line ends; a file that starts with a
// UTF-8 byte-order mark is read and written as UTF-8.
class IniFile {
public:
    explicit IniFile(std::string path);

    const std::string& FileName() const { return path_; }

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // As Windows reads integers: a missing key or a text that is not an
    // integer gives the default.
    int ReadInteger(const std::string& section, const std::string& key, int def) const;
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    // Section names in file order, each once.
    std::vector<std::string> ReadSections() const;
    bool SectionExists(const std::string& section) const;

    // Failures throw MyWindowsException naming the file; so does a file
    // that exists but cannot be read, which is left as it is. (Reads of
    // such a file give the defaults, as the profile functions do.)
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int value);
    void WriteBool(const std::string& section, const std::string& key, bool value);

private:
    std::string path_;
};

// Integer text as Windows' INI integer reads take it: optional blanks and
// sign, decimal digits or a "0x"/"$" hexadecimal number, nothing after.
bool ParseIniInteger(const std::string& text, int& value);

} // namespace my
