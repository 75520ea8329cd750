#pragma once

#include <exception>

// The report of an exception that the event loop or the start of the main
// window caught: an error box with its message under the program's title.
// The program's own errors (PMyExcpt) and the standard library's and Qt's
// (std::exception) show their text; anything else shows an empty message.
void ShowCaughtException(const std::exception_ptr& caught);
