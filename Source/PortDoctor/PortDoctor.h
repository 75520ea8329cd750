#pragma once

#include "Excpt/MyExeption.h"
#include "VCLUtils/MySynchronize.h"

#include <functional>
#include <set>
#include <string>

namespace my::PortDoctor {

// Says, once for each cause, why the link's port does not open and how to
// fix it, and once for each device when its latency timer is too long. The
// lines go to the console through print (any thread); the explanation of the
// present failure also goes to the window that shows it (SetAdviceShown).
class PortAdvisor {
public:
    typedef std::function<void(const std::string&)> PrintFn;
    explicit PortAdvisor(PrintFn print = &my::SynchronizedPrint);

    // After Port::Open() failed with failure: a new or changed cause is
    // explained.
    void OpenFailed(unsigned portNumber, const PMyExcpt& failure);
    // After Port::Open() succeeded: the failure is over; a latency timer
    // longer than silentMs is told once.
    void Opened(unsigned portNumber, int silentMs);

    // The explanation in force ("" while the port is fine).
    const std::string& Current() const { return current_; }

private:
    void Show(const std::string& advice);

    PrintFn print_;
    std::string current_;
    std::set<std::string> latencyTold_;
};

// The errno of a failed open (0 for a number not in the present-port list),
// or -1 for a failure that is not one of opening the device.
int OpenFailureCause(const PMyExcpt& failure);

// Where the window shows the explanation in force; called on the main
// thread. An empty function: nowhere.
void SetAdviceShown(std::function<void(const std::string&)> shown);

} // namespace my::PortDoctor
