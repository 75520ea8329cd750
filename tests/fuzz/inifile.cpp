// An INI file of any bytes (invalid Windows-1251, a UTF-8 byte-order mark,
// NUL bytes, huge lines, no line ends, duplicate sections and keys): every
// read, then a write, after which the written value reads back and every
// other value reads as before.
//
// Input: the section and key written, the value written, each ended by a
// 0x01 byte, then the file.

#include "FuzzSupport.h"

#include "Excpt/MyExeption.h"
#include "VCLUtils/Cp1251.h"
#include "VCLUtils/IniFile.h"
#include "VCLUtils/iniUtils_.h"

#include <QString>

#include <map>
#include <utility>
#include <vector>

namespace {

typedef std::map<std::pair<std::string, std::string>, std::string> Values;

std::string Trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// Names compare as the file's reader compares them.
bool SameName(const std::string& a, const std::string& b)
{
    return a == b || QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

bool HoldsInCp1251(const std::string& s) { return my::Cp1251ToUtf8(my::Utf8ToCp1251(s)) == s; }

std::string AsText(const std::string& file)
{
    return file.compare(0, 3, "\xEF\xBB\xBF") == 0 ? file.substr(3) : my::Cp1251ToUtf8(file);
}

// The keys of each section as the file spells them, for reading back.
std::vector<std::string> KeysOf(const std::string& file)
{
    std::vector<std::string> keys;
    size_t start = 0;
    while (start < file.size() && keys.size() < 64) {
        size_t end = file.find('\n', start);
        if (end == std::string::npos)
            end = file.size();
        const std::string line = file.substr(start, end - start);
        const size_t eq = line.find('=');
        if (eq != std::string::npos && eq > 0)
            keys.push_back(line.substr(0, eq));
        start = end + 1;
    }
    return keys;
}

Values ReadAll(const my::IniFile& ini, const std::vector<std::string>& sections, const std::vector<std::string>& keys)
{
    Values values;
    for (const auto& s : sections)
        for (const auto& k : keys)
            values[{s, k}] = ini.ReadString(s, k, "\x01");
    return values;
}

// A value the file keeps as it is: no line break, no blanks or quotes at
// its ends that the reading would take off.
bool Storable(const std::string& v)
{
    if (v.find_first_of("\r\n") != std::string::npos)
        return false;
    if (!v.empty() && (v.front() == ' ' || v.front() == '\t' || v.back() == ' ' || v.back() == '\t'))
        return false;
    return !(v.size() >= 2 && v.front() == '"' && v.back() == '"');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    const std::string section = in.Until(1);
    const std::string key = in.Until(1);
    const std::string value = in.Until(1);
    const std::string file = in.Rest();

    const std::string path = fuzz::ScratchDir() + "fuzz.ini";
    fuzz::WriteFile(path, file);
    my::IniFile ini(path);

    const std::vector<std::string> sections = ini.ReadSections();
    for (size_t i = 0; i < sections.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            fuzz::Check(!(sections[i] == sections[j]), "a section listed twice");
    std::vector<std::string> keys = KeysOf(AsText(file));
    keys.push_back(key);
    std::vector<std::string> probed = sections;
    if (probed.size() > 16)
        probed.resize(16);
    probed.push_back(section);
    for (const auto& s : probed) {
        fuzz::Check(ini.SectionExists(s) || s == section, "a listed section does not exist");
        ini.ReadInteger(s, key, 7);
        ini.ReadBool(s, key, true);
        ReadIntInRange(ini, s, key, -5, 5, 0);
    }

    // Only names and values a Windows-1251 file can hold, as the program
    // writes them: UTF-8 without line breaks, '[', ']' or '='.
    const bool writable = Storable(value) && !section.empty() && !key.empty() &&
                          section.find_first_of("[]\r\n") == std::string::npos &&
                          key.find_first_of("=[]\r\n;") == std::string::npos && key == Trim(key) &&
                          section == Trim(section) && HoldsInCp1251(section) && HoldsInCp1251(key) &&
                          HoldsInCp1251(value);
    if (!writable)
        return 0;
    const Values before = ReadAll(ini, probed, keys);
    try {
        ini.WriteString(section, key, value);
    } catch (const PMyExcpt& e) {
        fuzz::Fail("write failed: " + e->Message());
    }
    fuzz::Check(ini.ReadString(section, key, "\x01") == value, "the written value does not read back");
    const Values after = ReadAll(ini, probed, keys);
    for (const auto& [where, was] : before) {
        if (SameName(where.first, section) && SameName(where.second, key))
            continue;
        fuzz::Check(after.at(where) == was, "a write changed another value: [" + where.first + "] " + where.second);
    }
    return 0;
}
