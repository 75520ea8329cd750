#include "FakeDeviceTree.h"

#include "ComPort/SystemRoot.h"

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void Link(const std::string& target, const std::string& link)
{
    fs::create_directories(fs::path(link).parent_path());
    fs::remove(link);
    fs::create_directory_symlink(target, link); // a link is a link, to a folder or not
}

void Write(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    WriteBytes(path, text);
}

} // namespace

FakeDeviceTree::FakeDeviceTree() : root_(dir_.Path() + "root")
{
    fs::create_directories(Path("/dev"));
    fs::create_directories(Path("/sys/class/tty"));
    fs::create_directories(Path("/proc"));
    my::Comm::SetSystemRoot(root_);
}

FakeDeviceTree::~FakeDeviceTree() { my::Comm::SetSystemRoot(""); }

std::string FakeDeviceTree::Path(const std::string& absolute) const { return root_ + absolute; }

std::string FakeDeviceTree::AddNode(const std::string& name, const std::string& target)
{
    const std::string node = Path("/dev/" + name);
    if (target.empty())
        Write(node, "");
    else
        Link(target, node);
    return node;
}

void FakeDeviceTree::RemoveNode(const std::string& name) { fs::remove(Path("/dev/" + name)); }

std::string FakeDeviceTree::AddUart(const std::string& name, int type, const std::string& target)
{
    const std::string device = Path("/sys/devices/platform/serial8250/tty/" + name);
    Write(device + "/type", std::to_string(type) + "\n");
    Link("../../../serial8250", device + "/device");
    Link(Path("/sys/bus/platform/drivers/serial8250"), Path("/sys/devices/platform/serial8250/driver"));
    Link(device, Path("/sys/class/tty/" + name));
    return AddNode(name, target);
}

void FakeDeviceTree::SetConsole(const std::string& names)
{
    Write(Path("/sys/devices/virtual/tty/console/active"), names + "\n");
    Link(Path("/sys/devices/virtual/tty/console"), Path("/sys/class/tty/console"));
}

std::string FakeDeviceTree::UsbDeviceDir(const UsbAdapter& a) const
{
    return Path("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(a.usbPort));
}

// ttyUSB ports are devices of the usb-serial bus below the interface;
// ttyACM ports belong to the interface itself.
std::string FakeDeviceTree::PortDeviceDir(const UsbAdapter& a) const
{
    const std::string iface = UsbDeviceDir(a) + "/1-" + std::to_string(a.usbPort) + ":1.0";
    return a.tty.rfind("ttyUSB", 0) == 0 ? iface + "/" + a.tty : iface;
}

std::string FakeDeviceTree::Plug(const UsbAdapter& a, const std::string& target)
{
    const std::string usb = UsbDeviceDir(a);
    Write(usb + "/idVendor", a.vendorId + "\n");
    Write(usb + "/idProduct", a.productId + "\n");
    if (!a.manufacturer.empty())
        Write(usb + "/manufacturer", a.manufacturer + "\n");
    if (!a.product.empty())
        Write(usb + "/product", a.product + "\n");
    if (!a.serial.empty())
        Write(usb + "/serial", a.serial + "\n");
    const std::string port = PortDeviceDir(a);
    const bool usbSerial = a.tty.rfind("ttyUSB", 0) == 0;
    Link(Path(std::string(usbSerial ? "/sys/bus/usb-serial/drivers/" : "/sys/bus/usb/drivers/") + a.driver),
         port + "/driver");
    if (a.latencyTimerMs >= 0)
        Write(port + "/latency_timer", std::to_string(a.latencyTimerMs) + "\n");
    const std::string classDir = port + "/tty/" + a.tty;
    fs::create_directories(classDir);
    Link("../..", classDir + "/device");
    Link(classDir, Path("/sys/class/tty/" + a.tty));
    AddNode(a.tty, target);
    const std::string byId = Path("/dev/serial/by-id/" + a.byId);
    Link("../../" + a.tty, byId);
    return byId;
}

void FakeDeviceTree::Unplug(const UsbAdapter& a)
{
    fs::remove(Path("/dev/serial/by-id/" + a.byId));
    RemoveNode(a.tty);
    fs::remove(Path("/sys/class/tty/" + a.tty));
    fs::remove_all(UsbDeviceDir(a));
}

std::string FakeDeviceTree::LatencyTimerFile(const UsbAdapter& a) const
{
    return PortDeviceDir(a) + "/latency_timer";
}

void FakeDeviceTree::AddProcess(int pid, const std::string& exe, const std::vector<std::string>& openFiles)
{
    const std::string dir = Path("/proc/" + std::to_string(pid));
    Write(dir + "/cmdline", exe + std::string(1, '\0'));
    fs::create_directories(dir + "/fd");
    int fd = 3;
    for (const auto& file : openFiles)
        Link(file, dir + "/fd/" + std::to_string(fd++));
}
