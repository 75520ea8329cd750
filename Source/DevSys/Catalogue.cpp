#include "DevSys/Catalogue.h"

#include "ProgramFiles.h"
#include "VCLUtils/IniFile.h"
#include "VCLUtils/MyStrUtils.h"

#include <loki/Singleton.h>

#include <vector>

namespace {

// Only sections whose whole name is a non-negative decimal number count.
std::vector<std::pair<uint32_t, std::string>> CodeSections(const my::IniFile& ini)
{
    std::vector<std::pair<uint32_t, std::string>> out;
    for (const auto& name : ini.ReadSections()) {
        const auto parsed = ParseInt(name, 10);
        if (parsed.second && parsed.first >= 0)
            out.emplace_back(static_cast<uint32_t>(parsed.first), name);
    }
    return out;
}

CodeToStrMap LoadNames(const std::string& path)
{
    const my::IniFile ini(path);
    CodeToStrMap map;
    for (const auto& [code, section] : CodeSections(ini))
        map[code] = ini.ReadString(section, "name", "...");
    return map;
}

CodeToScaleMap LoadScales(const std::string& path)
{
    const my::IniFile ini(path);
    CodeToScaleMap map;
    for (const auto& [code, section] : CodeSections(ini)) {
        const auto lo = ParseDouble(ini.ReadString(section, "0", ""));
        const auto hi = ParseDouble(ini.ReadString(section, "1", ""));
        if (lo.second && hi.second && lo.first >= 0 && hi.first >= 0 && lo.first < hi.first)
            map[code] = {lo.first, hi.first};
    }
    return map;
}

std::string Lookup(const CodeToStrMap& map, uint32_t code)
{
    const auto it = map.find(code);
    return it == map.end() ? std::to_string(code) : it->second;
}

struct ProgramCatalogue : ThisModule {
    ProgramCatalogue() : ThisModule(GetDataDir(), GetExeDir()) {}
};

} // namespace

ThisModule::ThisModule(const std::string& dir) : ThisModule(dir, dir) {}

ThisModule::ThisModule(const std::string& userDir, const std::string& programDir)
    : units_(LoadNames(CatalogueFilePath(userDir, programDir, "units.ini"))),
      vars_(LoadNames(CatalogueFilePath(userDir, programDir, "vars.ini"))),
      scales_(LoadScales(CatalogueFilePath(userDir, programDir, "scales.ini")))
{
}

std::string ThisModule::VarName(uint32_t code) const { return Lookup(vars_, code); }
std::string ThisModule::UnitName(uint32_t code) const { return Lookup(units_, code); }

std::pair<double, double> ThisModule::ScaleOf(uint32_t code) const
{
    const auto it = scales_.find(code);
    return it == scales_.end() ? std::make_pair(0.0, 0.0) : it->second;
}

const ThisModule& ThisModule::Instance()
{
    return Loki::SingletonHolder<ProgramCatalogue, Loki::CreateUsingNew, Loki::NoDestroy,
                                 Loki::SingleThreaded>::Instance();
}
