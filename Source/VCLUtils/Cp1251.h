#pragma once

#include <string>
#include <string_view>

// The program works in UTF-8; every file it reads or writes for the user is
// Windows-1251, so that files from the Windows installations work unchanged.
namespace my {

std::string Cp1251ToUtf8(std::string_view cp1251);
// Characters Windows-1251 cannot hold become "?".
std::string Utf8ToCp1251(std::string_view utf8);

} // namespace my
