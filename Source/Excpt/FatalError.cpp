#include "Excpt/FatalError.h"

#include "VCLUtils/MyStrUtils.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

// Any thread may end up here, so the hook is read atomically.
std::atomic<FatalErrorBoxFn> fatalErrorBox{nullptr};

const char* const OwnerTitle = "Необработанное исключение";

void ReportToStderr(const std::string& text, const std::string& caption)
{
    std::fprintf(stderr, "%s\n%s\n", caption.c_str(), text.c_str());
}

} // namespace

void SetFatalErrorBox(FatalErrorBoxFn fn) { fatalErrorBox.store(fn); }

std::string FatalExceptionText(const std::string& where, const PMyExcpt& e)
{
    return my::Format("Необработанное исключение в %s!\n%s", where.c_str(),
                      FormatExceptionChain(e.get()).c_str());
}

[[noreturn]] void ReportFatalException(const std::string& where, const PMyExcpt& e)
{
    const std::string text = FatalExceptionText(where, e);
    if (FatalErrorBoxFn box = fatalErrorBox.load())
        box(text, where, OwnerTitle);
    else
        ReportToStderr(text, where);
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    // exit() would run the static destructors under the feet of a worker
    // that still waits for the call this report ends.
    std::_Exit(1);
}
