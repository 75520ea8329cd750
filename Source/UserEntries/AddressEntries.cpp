#include "UserEntries/AddressEntries.h"

#include "VCLUtils/MyStrUtils.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <sstream>

namespace {

bool IsSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Reads as a stream reads an int: white space, an optional sign, digits.
// False when there is no number or it does not fit.
bool ReadInt(const std::string& text, size_t& pos, long long& value)
{
    size_t p = pos;
    while (p < text.size() && IsSpace(text[p]))
        ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-'))
        negative = text[p++] == '-';
    if (p >= text.size() || !std::isdigit(static_cast<unsigned char>(text[p])))
        return false;
    long long v = 0;
    for (; p < text.size() && std::isdigit(static_cast<unsigned char>(text[p])); ++p) {
        v = v * 10 + (text[p] - '0');
        if (v > INT_MAX)
            return false;
    }
    value = negative ? -v : v;
    pos = p;
    return true;
}

void Mark(AddressFlags& flags, long long address)
{
    if (address >= 0 && address < static_cast<long long>(flags.size()))
        flags.set(static_cast<size_t>(address));
}

// Skips white space and tells whether the next character is c.
bool NextIs(const std::string& text, size_t& pos, char c)
{
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    return pos < text.size() && text[pos] == c;
}

} // namespace

AddressFlags ParseAddressSet(const std::string& text)
{
    AddressFlags flags;
    size_t pos = 0;
    for (;;) {
        if (NextIs(text, pos, '-') || pos >= text.size())
            break;
        long long first = 0;
        if (!ReadInt(text, pos, first))
            break;
        Mark(flags, first);
        if (!NextIs(text, pos, '-'))
            continue;
        ++pos;
        long long last = 0;
        if (!ReadInt(text, pos, last))
            break;
        const long long top = std::min<long long>(last, static_cast<long long>(flags.size()) - 1);
        for (long long a = first + 1; a <= top; ++a)
            Mark(flags, a);
    }
    flags.reset(0);
    return flags;
}

std::string FormatAddressSet(const AddressFlags& flags)
{
    std::string text;
    const size_t n = flags.size();
    for (size_t a = 0; a < n; ++a) {
        if (!flags.test(a))
            continue;
        size_t last = a;
        while (last + 1 < n && flags.test(last + 1))
            ++last;
        if (!text.empty())
            text += ' ';
        text += std::to_string(a);
        if (last > a)
            text += '-' + std::to_string(last);
        a = last;
    }
    return text;
}

std::string AddressWord(const std::string& entered)
{
    std::istringstream words(entered);
    std::string word;
    words >> word;
    return word;
}

bool IsValidAddress(const std::string& word, int32_t& address)
{
    const std::pair<int32_t, bool> n = ParseInt(word, 10);
    if (!n.second || n.first < kMinAddress || n.first > kMaxAddress)
        return false;
    address = n.first;
    return true;
}
