#pragma once

#include <cstdint>
#include <string>

namespace my {
class IniFile;
}

// The stored integer when it is a whole base-10 number within
// [valMin, valMax], otherwise defVal, silently.
int32_t ReadIntInRange(const my::IniFile& ini, const std::string& section, const std::string& key,
                       int32_t valMin, int32_t valMax, int32_t defVal);
// value receives what the conversion produced in every case (0 without digits).
bool TryReadIntInRange(const my::IniFile& ini, const std::string& section, const std::string& key,
                       int32_t valMin, int32_t valMax, int32_t& value);

// A window's placement as Windows records it: what "form1.ini" keeps under
// eleven keys. Right and bottom are exclusive edges of the frame.
struct WindowPlacementRec {
    enum ShowCmd { ShowNormal = 1, ShowMinimized = 2, ShowMaximized = 3 };
    int32_t length = 44;
    int32_t flags = 0;
    int32_t showCmd = ShowNormal;
    int32_t minX = -1, minY = -1;
    int32_t maxX = -1, maxY = -1;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

void WritePlacementKeys(const WindowPlacementRec& rec, my::IniFile& ini, const std::string& section);
// Each key missing or malformed keeps the record's present value.
void ReadPlacementKeys(WindowPlacementRec& rec, const my::IniFile& ini, const std::string& section);
