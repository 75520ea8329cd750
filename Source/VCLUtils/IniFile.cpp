#include "VCLUtils/IniFile.h"

#include "Excpt/MyExeption.h"
#include "VCLUtils/Cp1251.h"

#include <QString>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kUtf8Bom[] = "\xEF\xBB\xBF";

std::string Trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return std::string();
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() == b.size() && a == b)
        return true;
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

// The file as lines of UTF-8 text.
struct Document {
    std::vector<std::string> lines;
    bool utf8 = false;
};

struct LineView {
    enum Kind { Other, Section, Key } kind = Other;
    std::string name;  // section or key name, trimmed
    std::string value; // key value, trimmed
};

LineView Classify(const std::string& line)
{
    LineView v;
    const std::string t = Trim(line);
    if (t.empty() || t[0] == ';')
        return v;
    if (t[0] == '[') {
        const auto close = t.find(']');
        v.kind = LineView::Section;
        v.name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return v;
    }
    const auto eq = t.find('=');
    if (eq == std::string::npos)
        return v;
    v.kind = LineView::Key;
    v.name = Trim(t.substr(0, eq));
    v.value = Trim(t.substr(eq + 1));
    // Windows drops one pair of enclosing quotes.
    if (v.value.size() >= 2 && v.value.front() == '"' && v.value.back() == '"')
        v.value = v.value.substr(1, v.value.size() - 2);
    return v;
}

// The file as it is now; false with the system's code when it exists but
// cannot be read. A file that does not exist is empty.
bool TryLoad(const std::string& path, Document& doc, int& error)
{
    doc = Document();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = errno;
        return error == ENOENT;
    }
    std::string raw;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        raw.append(buf, n);
    const bool failed = std::ferror(f);
    error = errno;
    std::fclose(f);
    if (failed)
        return false;

    std::string text;
    if (raw.compare(0, 3, kUtf8Bom) == 0) {
        doc.utf8 = true;
        text = raw.substr(3);
    } else {
        text = my::Cp1251ToUtf8(raw);
    }
    size_t start = 0;
    while (start < text.size()) {
        auto nl = text.find('\n', start);
        std::string line = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        doc.lines.push_back(line);
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
    return true;
}

// As the profile functions read: a file that cannot be read gives the
// defaults.
Document LoadForReading(const std::string& path)
{
    Document doc;
    int error = 0;
    return TryLoad(path, doc, error) ? doc : Document();
}

// A file that cannot be read is not an empty one: written back as such it
// would lose every other setting and comment. It is left as it is.
Document LoadForWriting(const std::string& path)
{
    Document doc;
    int error = 0;
    if (!TryLoad(path, doc, error))
        throw PMyExcpt(new MyWindowsException(error ? error : EIO, FILE_LINE, "Unable to read " + path));
    return doc;
}

[[noreturn]] void ThrowWriteError(const std::string& path)
{
    throw PMyExcpt(new MyWindowsException(errno ? errno : EIO, FILE_LINE, "Unable to write to " + path));
}

void Store(const std::string& path, const Document& doc)
{
    std::string text;
    for (const auto& line : doc.lines)
        text += line + "\r\n";
    const std::string bytes = doc.utf8 ? kUtf8Bom + text : my::Utf8ToCp1251(text);

    const auto slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string tmp = dir + "/." + base + ".XXXXXX";
    const int fd = mkstemp(tmp.data());
    if (fd < 0)
        ThrowWriteError(path);

    struct stat st;
    mode_t mode;
    if (stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = fchmod(fd, mode) == 0;
    for (size_t done = 0; ok && done < bytes.size();) {
        const ssize_t w = write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno == EINTR)
            continue;
        ok = w > 0;
        if (ok)
            done += static_cast<size_t>(w);
    }
    ok = ok && fsync(fd) == 0;
    const int savedErrno = errno;
    close(fd);
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        const int err = ok ? errno : savedErrno;
        unlink(tmp.c_str());
        errno = err;
        ThrowWriteError(path);
    }
}

// Index of the first key line of the section, or -1; sectionEnd receives the
// index after the last key or text line of the section (-1: no section).
int FindKey(const Document& doc, const std::string& section, const std::string& key, int* sectionEnd,
            std::string* value)
{
    bool inSection = false;
    bool seenSection = false;
    int end = -1;
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        const LineView v = Classify(doc.lines[i]);
        if (v.kind == LineView::Section) {
            if (seenSection && inSection)
                break; // only the first section of a name counts
            inSection = SameName(v.name, section);
            if (inSection) {
                seenSection = true;
                end = static_cast<int>(i) + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!Trim(doc.lines[i]).empty())
            end = static_cast<int>(i) + 1;
        if (v.kind == LineView::Key && SameName(v.name, key)) {
            if (value)
                *value = v.value;
            if (sectionEnd)
                *sectionEnd = end;
            return static_cast<int>(i);
        }
    }
    if (sectionEnd)
        *sectionEnd = end;
    return -1;
}

} // namespace

namespace my {

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

std::string IniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const
{
    std::string value;
    return FindKey(LoadForReading(path_), section, key, nullptr, &value) >= 0 ? value : def;
}

bool ParseIniInteger(const std::string& text, int& value)
{
    const std::string t = Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    int base = 10;
    if (t.compare(i, 2, "0x") == 0 || t.compare(i, 2, "0X") == 0) {
        base = 16;
        i += 2;
    } else if (i < t.size() && t[i] == '$') {
        base = 16;
        ++i;
    }
    if (i >= t.size())
        return false;
    long long v = 0;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFLL)
            return false;
    }
    if (negative)
        v = -v;
    // Unsigned 32-bit values (port settings are written as such) come back
    // as the same bit pattern: 4294967295 and 0xFFFFFFFF both read as -1.
    if (v > INT_MAX)
        v -= 0x100000000LL;
    if (v < INT_MIN || v > INT_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}

int IniFile::ReadInteger(const std::string& section, const std::string& key, int def) const
{
    int value;
    std::string text;
    if (FindKey(LoadForReading(path_), section, key, nullptr, &text) < 0 || !ParseIniInteger(text, value))
        return def;
    return value;
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

std::vector<std::string> IniFile::ReadSections() const
{
    std::vector<std::string> names;
    for (const auto& line : LoadForReading(path_).lines) {
        const LineView v = Classify(line);
        if (v.kind != LineView::Section)
            continue;
        bool known = false;
        for (const auto& n : names)
            known = known || SameName(n, v.name);
        if (!known)
            names.push_back(v.name);
    }
    return names;
}

bool IniFile::SectionExists(const std::string& section) const
{
    for (const auto& name : ReadSections())
        if (SameName(name, section))
            return true;
    return false;
}

void IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    Document doc = LoadForWriting(path_);
    int sectionEnd = -1;
    const int at = FindKey(doc, section, key, &sectionEnd, nullptr);
    if (at >= 0) {
        // Keep the key as the file spells it.
        const std::string& old = doc.lines[static_cast<size_t>(at)];
        doc.lines[static_cast<size_t>(at)] = Trim(old.substr(0, old.find('='))) + "=" + value;
    } else if (sectionEnd >= 0) {
        doc.lines.insert(doc.lines.begin() + sectionEnd, key + "=" + value);
    } else {
        if (!doc.lines.empty() && !Trim(doc.lines.back()).empty())
            doc.lines.push_back(std::string());
        doc.lines.push_back("[" + section + "]");
        doc.lines.push_back(key + "=" + value);
    }
    Store(path_, doc);
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int value)
{
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(const std::string& section, const std::string& key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

} // namespace my
