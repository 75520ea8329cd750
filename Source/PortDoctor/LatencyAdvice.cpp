#include "PortDoctor/LatencyAdvice.h"

#include "VCLUtils/MyStrUtils.h"

namespace my::PortDoctor {

std::string LatencyAdvice(unsigned portNumber, const PortFacts& facts, int silentMs)
{
    if (facts.latencyTimerMs <= silentMs)
        return std::string();
    const std::string driver = facts.driver.empty() ? "ftdi_sio" : facts.driver;
    return my::Format("COM%u (%s): таймер задержки адаптера latency_timer = %d мс, больше паузы конца ответа %d мс: "
                      "ответ может приходить частями и обрываться. Исправление: правило udev "
                      "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"%s\", ATTR{latency_timer}=\"1\" "
                      "в файле /etc/udev/rules.d/99-usb-serial-latency.rules, затем переподключить адаптер",
                      portNumber, facts.node.c_str(), facts.latencyTimerMs, silentMs, driver.c_str());
}

} // namespace my::PortDoctor
