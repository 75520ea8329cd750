#pragma once

#include <string>

// Writes a text to the debug console unchanged (no line break added); main
// thread only. Other threads print through my::SynchronizedPrint.
int ConsolePrint(const std::string& text);

// The console window installs itself as the receiver; until then texts go to
// standard output.
typedef void (*ConsoleSinkFn)(const std::string& text);
void SetConsoleSink(ConsoleSinkFn sink);
