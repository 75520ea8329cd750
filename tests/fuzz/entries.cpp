// What the user types: numbers, the address set of the search, the address
// prompt and the zero-correction prompt.
//
// Input: the text entered.

#include "FuzzSupport.h"

#include "UserEntries/AddressEntries.h"
#include "VCLUtils/MyStrUtils.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const bool hasNul = text.find('\0') != std::string::npos;

    for (int base : {10, 16}) {
        const auto n = ParseInt(text, base);
        fuzz::Check(!(n.second && hasNul), "a number accepted with text after it");
    }
    // The zero-correction prompt.
    const auto x = ParseDouble(text);
    fuzz::Check(!x.second || (std::isfinite(x.first) && !hasNul), "a correction value that is no number");

    // The address prompt.
    const std::string word = AddressWord(text);
    int32_t address = -1;
    if (IsValidAddress(word, address)) {
        fuzz::Check(address >= kMinAddress && address <= kMaxAddress, "an address out of range accepted");
        fuzz::Check(word.find('\0') == std::string::npos, "an address accepted with text after it");
    }

    // The search's address set: what it marks reads back from its own text.
    const AddressFlags flags = ParseAddressSet(text);
    fuzz::Check(!flags.test(0), "address 0 marked");
    fuzz::Check(ParseAddressSet(FormatAddressSet(flags)) == flags, "the address set does not read back");
    return 0;
}
