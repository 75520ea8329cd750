#include "sim/SimDescribe.h"

#include "DevSys/Catalogue.h"
#include "VCLUtils/MyStrUtils.h"
#include "VCLUtils/bcd_.h"

#include <cmath>

namespace sim {

namespace {

std::string ScaleText(uint8_t code)
{
    const auto s = ScaleOf(code);
    return s.first == 0 && s.second == 0 ? std::string("...") : my::Format("%g-%g", s.first, s.second);
}

std::string ValueText(const Instrument& inst, const Channel& c, double t)
{
    if (c.failed)
        return "no value (FF FF FF FF): broken sensor";
    return my::Format("%.*f", c.kind.decimals, inst.ReportedValue(c.number, t));
}

std::string RegisterMeaning(uint16_t reg)
{
    if (reg < 2 * MAX_CHANNELS)
        return my::Format("channel %u value, bytes %s", reg / 2, reg % 2 ? "2-3" : "0-1");
    if (reg == REG_COMMAND)
        return "command code";
    if (reg < REG_COMMAND + 3)
        return my::Format("command argument, bytes %s", reg == REG_COMMAND + 1 ? "0-1" : "2-3");
    if (reg == REG_MASK)
        return "channel mask";
    const unsigned n = (reg - REG_DESCRIPTORS) / 10;
    return (reg - REG_DESCRIPTORS) % 10 == 0 ? my::Format("channel %u unit and quantity codes", n)
                                             : my::Format("channel %u scale code", n);
}

} // namespace

std::string DescribeInstrument(const Instrument& inst, double t)
{
    std::string text = my::Format("Instrument at address %u: channel mask 0x%04X (channels", inst.Address(), inst.Mask());
    for (const auto& c : inst.Channels())
        text += my::Format(" %u", c.number);
    text += inst.Channels().empty() ? " none)\n" : ")\n";
    for (const auto& c : inst.Channels()) {
        const ChannelKind& k = c.kind;
        text += my::Format("  channel %u: %s, %s, scale %s (quantity %u, unit %u, scale %u): %s\n", c.number,
                           VarName(k.quantityCode).c_str(), UnitName(k.unitCode).c_str(),
                           ScaleText(k.scaleCode).c_str(), k.quantityCode, k.unitCode, k.scaleCode,
                           ValueText(inst, c, t).c_str());
    }
    if (inst.ZeroCorrection() != 0)
        text += my::Format("  zero correction: %g (subtracted from every value)\n", inst.ZeroCorrection());
    return text;
}

std::string RegisterTable(const Instrument& inst, double t)
{
    std::string text = my::Format("Registers of the instrument at address %u (register: hex = decimal; what)\n",
                                  inst.Address());
    for (unsigned reg = 0; reg <= 0xFFFF; ++reg) {
        const auto v = inst.Register(static_cast<uint16_t>(reg), t);
        if (v)
            text += my::Format("  %u: 0x%04X = %u; %s\n", reg, *v, *v, RegisterMeaning(static_cast<uint16_t>(reg)).c_str());
    }
    return text;
}

} // namespace sim
