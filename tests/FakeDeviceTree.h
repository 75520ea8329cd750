#pragma once

#include "TestUtils.h"

#include <string>
#include <vector>

// A folder laid out as the machine's /dev, /sys and /proc, put in place as
// the system root the port scan and the port doctor read, for the life of
// the object. Device nodes are links to terminals the test owns (or plain
// files where only the name matters); sysfs entries are laid out as the
// kernel lays them out for USB adapters and UARTs.
class FakeDeviceTree {
public:
    FakeDeviceTree();
    ~FakeDeviceTree();
    FakeDeviceTree(const FakeDeviceTree&) = delete;
    FakeDeviceTree& operator=(const FakeDeviceTree&) = delete;

    // The absolute path under the fake root ("/dev/ttyUSB0" -> ".../dev/ttyUSB0").
    std::string Path(const std::string& absolute) const;

    // /dev/<name>: a link to target, or a plain file when target is empty.
    std::string AddNode(const std::string& name, const std::string& target = "");
    void RemoveNode(const std::string& name);

    // A UART of the serial core: /dev/<name> and its sysfs "type" (0 is
    // PORT_UNKNOWN, a port the core lists with no UART behind it).
    std::string AddUart(const std::string& name, int type, const std::string& target = "");
    // The terminals the kernel's console is on, as /sys/class/tty/console/active.
    void SetConsole(const std::string& names);

    struct UsbAdapter {
        std::string tty;          // "ttyUSB0" or "ttyACM0"
        std::string byId;         // name under /dev/serial/by-id
        std::string driver;       // "ftdi_sio", "cdc_acm"...
        std::string vendorId;
        std::string productId;
        std::string manufacturer;
        std::string product;
        std::string serial;
        int latencyTimerMs = -1;  // -1: the driver has none
        int usbPort = 1;          // the hub port it is plugged into
    };
    // Plugs the adapter in: its node (a link to target), its by-id link and
    // its sysfs device; returns the by-id path.
    std::string Plug(const UsbAdapter& adapter, const std::string& target);
    // Pulls it out: the node, the by-id link and the sysfs entries go.
    void Unplug(const UsbAdapter& adapter);
    // Its sysfs latency_timer file.
    std::string LatencyTimerFile(const UsbAdapter& adapter) const;

    // /proc/<pid> of a process running exe, with fd links to the files
    // named.
    void AddProcess(int pid, const std::string& exe, const std::vector<std::string>& openFiles = {});

private:
    std::string UsbDeviceDir(const UsbAdapter& adapter) const;
    std::string PortDeviceDir(const UsbAdapter& adapter) const;

    TempDir dir_;
    std::string root_;
};
