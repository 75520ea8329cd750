// The catalogue files "vars.ini", "units.ini" and "scales.ini" as a user or
// another program may have left them.
//
// Input: the three files, separated by 0x01 bytes.

#include "FuzzSupport.h"

#include "DevSys/Catalogue.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    const std::string dir = fuzz::ScratchDir();
    fuzz::WriteFile(dir + "vars.ini", in.Until(1));
    fuzz::WriteFile(dir + "units.ini", in.Until(1));
    fuzz::WriteFile(dir + "scales.ini", in.Rest());

    const ThisModule catalogue(dir);
    // The codes the instrument can send are bytes; a few beyond them too.
    for (uint32_t code = 0; code < 300; ++code) {
        // A name may be empty: the file says so ("name=").
        catalogue.VarName(code);
        catalogue.UnitName(code);
        const auto [lower, upper] = catalogue.ScaleOf(code);
        fuzz::Check((lower == 0 && upper == 0) || (0 <= lower && lower < upper), "a scale that is no range");
    }
    catalogue.VarName(0xFFFFFFFFu);
    return 0;
}
