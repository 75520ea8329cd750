#include "VCLUtils/Cp1251.h"

#include <cerrno>
#include <iconv.h>

namespace {

// One conversion with iconv. An input sequence the target cannot take is
// replaced by "?" and skipped; a broken input sequence likewise.
std::string Convert(std::string_view in, const char* to, const char* from, size_t badInputStep)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(in);
    std::string out;
    out.resize(in.size() * 3 + 4);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            const size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
            continue;
        }
        // EILSEQ or EINVAL: skip the offending input, mark it.
        size_t step = badInputStep;
        if (badInputStep > 1) { // UTF-8 input: skip the whole sequence
            const unsigned char lead = static_cast<unsigned char>(*src);
            step = (lead >= 0xF0 && lead <= 0xF4) ? 4 : (lead >= 0xE0 && lead <= 0xEF) ? 3
                 : (lead >= 0xC2 && lead <= 0xDF) ? 2 : 1;
            if (step > srcLeft)
                step = srcLeft;
        }
        src += step;
        srcLeft -= step;
        if (dstLeft < 4) {
            const size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
        }
        *dst++ = '?';
        --dstLeft;
    }
    out.resize(static_cast<size_t>(dst - out.data()));
    iconv_close(cd);
    return out;
}

} // namespace

std::string my::Cp1251ToUtf8(std::string_view cp1251)
{
    return Convert(cp1251, "UTF-8", "CP1251", 1);
}

std::string my::Utf8ToCp1251(std::string_view utf8)
{
    return Convert(utf8, "CP1251", "UTF-8", 4);
}
