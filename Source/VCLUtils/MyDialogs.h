#pragma once

#include <string>

// The standard complaint about a rejected entry, as a modal box without
// owner: "Отсутствуют данные..." for an empty entry, "Не корректные
// данные..." otherwise.
void ShowInputError(const std::string& fieldName, const std::string& entered);

// Routes ShowLastWinError's reports into message boxes.
void InstallLastWinErrorBox();

// Everything the non-window code reports in boxes: the last system error
// and the fatal error of a synchronous call. Call once the QApplication
// exists.
void InstallGuiHooks();
