#pragma once

#include <functional>

// The console's answer to Ctrl+C (event 0) and Ctrl+Break (event 1): print
// "\n\t\t---Ctrl+Break pressed!---\n" to standard output and report the
// event as handled (true), so the program goes on. Every other event is not
// handled (false). Runs on the main thread.
bool ConsoleCtrlHandler(unsigned long event);

namespace my {

// Catches SIGINT (Ctrl+C), SIGQUIT (Ctrl+\, a terminal's Ctrl+Break),
// SIGTERM and SIGHUP, and ignores SIGPIPE (a write to a pipe without a
// reader fails instead). The handlers only note the signal in a pipe; the work
// is done on the main thread by its event loop: SIGINT and SIGQUIT go to
// ConsoleCtrlHandler, SIGTERM and SIGHUP to the close-requested handler.
// Call on the main thread once a QCoreApplication exists; later calls do
// nothing.
void InstallUnixSignalHandlers();

// What SIGTERM and SIGHUP do: an orderly shutdown, as "Выход" does. Runs on
// the main thread. Without a handler the signal ends the process as if it
// were not caught.
void SetCloseRequestedHandler(std::function<void()> handler);

} // namespace my
