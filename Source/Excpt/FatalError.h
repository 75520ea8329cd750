#pragma once

#include "Excpt/MyExeption.h"

#include <string>

// The end of the road for an error nobody may pass on (an exception escaping
// a call the main thread serves for a worker): the report "Необработанное
// исключение в <where>!" with the exception chain, then exit code 1.

// Shows the report and returns when the user has closed it. ownerTitle names
// the hidden owner window the box belongs to.
typedef void (*FatalErrorBoxFn)(const std::string& text, const std::string& caption,
                                const std::string& ownerTitle);

// The GUI layer installs its message box here; without it the report goes
// to standard error. nullptr goes back to standard error.
void SetFatalErrorBox(FatalErrorBoxFn fn);

// The report's text for an exception caught in `where`.
std::string FatalExceptionText(const std::string& where, const PMyExcpt& e);

// Reports e with `where` as the caption, then ends the process with exit
// code 1. Buffered output is flushed first; no destructors run, because the
// other threads are still running and may be blocked in the reporting one.
[[noreturn]] void ReportFatalException(const std::string& where, const PMyExcpt& e);
