#pragma once

#include <iosfwd>
#include <optional>

// The program's own options, looked at before anything else starts: no
// window, no console, no single-instance check. --help and --version print
// to out and give 0; anything else on the command line is refused on err
// with 2. Without arguments there is nothing to do: the program starts.
std::optional<int> HandleCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
