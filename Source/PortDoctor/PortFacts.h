#pragma once

#include <string>

// What the system knows of the device behind a port number, read from /dev
// and sysfs without opening the device: enough for a user with two
// identical-looking USB adapters to tell them apart.

namespace my::PortDoctor {

struct PortFacts {
    std::string path;         // as mapped ("/dev/serial/by-id/usb-FTDI_...")
    std::string node;         // the kernel's name of the terminal ("ttyUSB0"); empty when unknown
    std::string byId;         // its name under /dev/serial/by-id, if it has one
    std::string driver;       // ftdi_sio, ch341, cp210x, pl2303, cdc_acm, serial8250...
    std::string vendorId;     // USB adapters only: "0403"
    std::string productId;    // "6001"
    std::string manufacturer; // "FTDI"
    std::string product;      // "FT232R USB UART"
    std::string serial;       // "A10K1ABC"
    int latencyTimerMs = -1;  // the driver's latency_timer; -1 where there is none
};

// Reads what there is; a path that leads to no terminal known to sysfs (a
// pseudo-terminal, a missing device) gives the path alone.
PortFacts ReadPortFacts(const std::string& path);

// For the port settings dialog: the device path on the first line, then a
// line for each fact known ("by-id: ...", "драйвер ftdi_sio, USB 0403:6001",
// the product with its maker, "серийный номер ...").
std::string PortFactsText(const PortFacts& facts);

// The facts of port n's device as PortFactsText gives them; empty when the
// number is unmapped.
std::string DescribePort(unsigned portNumber);

} // namespace my::PortDoctor
