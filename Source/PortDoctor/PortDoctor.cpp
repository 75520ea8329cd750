#include "PortDoctor/PortDoctor.h"

#include "ComPort/PortMap.h"
#include "PortDoctor/LatencyAdvice.h"
#include "PortDoctor/OpenFailureAdvice.h"
#include "PortDoctor/PortFacts.h"
#include "VCLUtils/MySynchronize.h"

#include <mutex>

namespace my::PortDoctor {

namespace {

std::mutex shownMutex;

std::function<void(const std::string&)>& AdviceShown()
{
    static std::function<void(const std::string&)> shown;
    return shown;
}

const char* const kPortLayer = "CommUtils.cpp";

} // namespace

int OpenFailureCause(const PMyExcpt& failure)
{
    const MyException* inner = failure ? InnermostException(failure.get()) : nullptr;
    if (!inner || inner->Where().file != kPortLayer)
        return -1;
    if (const auto* w = dynamic_cast<const MyWindowsException*>(inner))
        return inner->Message().find("занят!") != std::string::npos ? w->Code() : -1;
    return inner->TypeName() == "MyException" ? kNotPresent : -1;
}

PortAdvisor::PortAdvisor(PrintFn print) : print_(std::move(print)) {}

void PortAdvisor::OpenFailed(unsigned portNumber, const PMyExcpt& failure)
{
    const int cause = OpenFailureCause(failure);
    const std::string advice = cause < 0 ? std::string() : ExplainOpenFailure(portNumber, cause);
    if (advice != current_ && !advice.empty())
        print_(advice + "\n");
    // The window hears it every time: starting and stopping the polling
    // clears the panel.
    if (advice != current_ || !advice.empty())
        Show(advice);
    current_ = advice;
}

void PortAdvisor::Opened(unsigned portNumber, int silentMs)
{
    if (!current_.empty()) {
        current_.clear();
        Show(current_);
    }
    const PortFacts facts = ReadPortFacts(my::Comm::PortDevicePath(portNumber));
    const std::string advice = LatencyAdvice(portNumber, facts, silentMs);
    if (!advice.empty() && latencyTold_.insert(facts.path).second)
        print_(advice + "\n");
}

void PortAdvisor::Show(const std::string& advice)
{
    std::function<void(const std::string&)> shown;
    {
        std::lock_guard<std::mutex> lock(shownMutex);
        shown = AdviceShown();
    }
    if (shown)
        my::Synchronize([&] { shown(advice); });
}

void SetAdviceShown(std::function<void(const std::string&)> shown)
{
    std::lock_guard<std::mutex> lock(shownMutex);
    AdviceShown() = std::move(shown);
}

} // namespace my::PortDoctor
