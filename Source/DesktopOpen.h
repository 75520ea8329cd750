#pragma once

#include <string>

// Asks the desktop to open the file with the program it associates with the
// file's type. Whether that worked is not known to the caller.
void OpenWithDesktop(const std::string& path);
