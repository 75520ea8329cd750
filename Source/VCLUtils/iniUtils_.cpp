#include "VCLUtils/iniUtils_.h"

#include "Excpt/MyAssert.h"
#include "VCLUtils/IniFile.h"
#include "VCLUtils/MyStrUtils.h"

#include <utility>

bool TryReadIntInRange(const my::IniFile& ini, const std::string& section, const std::string& key,
                       int32_t valMin, int32_t valMax, int32_t& value)
{
    MY_ASSERT_M(valMin <= valMax, "valMin<=valMax");
    const auto parsed = ParseInt(ini.ReadString(section, key, ""), 10);
    value = parsed.first;
    return parsed.second && valMin <= parsed.first && parsed.first <= valMax;
}

int32_t ReadIntInRange(const my::IniFile& ini, const std::string& section, const std::string& key,
                       int32_t valMin, int32_t valMax, int32_t defVal)
{
    MY_ASSERT_M(valMin <= valMax && defVal <= valMax && valMin <= defVal,
                "valMin<=valMax && defVal<=valMax && valMin<=defVal");
    int32_t value;
    return TryReadIntInRange(ini, section, key, valMin, valMax, value) ? value : defVal;
}

namespace {

// The keys in the order they are written and read.
template <class Rec, class Fn>
void ForEachPlacementKey(Rec& rec, Fn fn)
{
    fn("length", rec.length);
    fn("flags", rec.flags);
    fn("showCmd", rec.showCmd);
    fn("ptMinPosition.x", rec.minX);
    fn("ptMinPosition.y", rec.minY);
    fn("ptMaxPosition.x", rec.maxX);
    fn("ptMaxPosition.y", rec.maxY);
    fn("rcNormalPosition.left", rec.left);
    fn("rcNormalPosition.top", rec.top);
    fn("rcNormalPosition.right", rec.right);
    fn("rcNormalPosition.bottom", rec.bottom);
}

} // namespace

void WritePlacementKeys(const WindowPlacementRec& rec, my::IniFile& ini, const std::string& section)
{
    ForEachPlacementKey(rec, [&](const char* key, const int32_t& v) { ini.WriteInteger(section, key, v); });
}

void ReadPlacementKeys(WindowPlacementRec& rec, const my::IniFile& ini, const std::string& section)
{
    ForEachPlacementKey(rec, [&](const char* key, int32_t& v) { v = ini.ReadInteger(section, key, v); });
}
