#pragma once

#include <boost/noncopyable.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <utility>

typedef std::map<uint32_t, std::string> CodeToStrMap;
typedef std::map<uint32_t, std::pair<double, double>> CodeToScaleMap;

// The names of the instrument's quantity, unit and scale codes, from
// "vars.ini", "units.ini" and "scales.ini": one section per code.
class ThisModule : boost::noncopyable {
public:
    // Reads the three files in dir (ending with "/").
    explicit ThisModule(const std::string& dir);
    // Reads each file from userDir when it is there, else from programDir:
    // a user extends the catalogue without write access to the program.
    ThisModule(const std::string& userDir, const std::string& programDir);

    std::string VarName(uint32_t code) const;
    std::string UnitName(uint32_t code) const;
    // (lower, upper), or (0, 0) when the code has no valid scale.
    std::pair<double, double> ScaleOf(uint32_t code) const;

    // The process-wide catalogue of the program's data folder and its own
    // folder, read on first use.
    static const ThisModule& Instance();

private:
    CodeToStrMap units_;
    CodeToStrMap vars_;
    CodeToScaleMap scales_;
};

inline std::string VarName(uint32_t code) { return ThisModule::Instance().VarName(code); }
inline std::string UnitName(uint32_t code) { return ThisModule::Instance().UnitName(code); }
inline std::pair<double, double> ScaleOf(uint32_t code) { return ThisModule::Instance().ScaleOf(code); }
