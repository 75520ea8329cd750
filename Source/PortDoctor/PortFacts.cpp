#include "PortDoctor/PortFacts.h"

#include "ComPort/PortMap.h"
#include "ComPort/SystemRoot.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace my::PortDoctor {

namespace {

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

std::string DirName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string Resolved(const std::string& path)
{
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// The target of a symbolic link, made absolute; empty when it is none.
std::string LinkTarget(const std::string& path)
{
    char buf[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    if (n <= 0)
        return std::string();
    const std::string target(buf, static_cast<size_t>(n));
    return target[0] == '/' ? target : DirName(path) + "/" + target;
}

// The first line of a sysfs attribute, without its newline.
std::string Attribute(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string TtyClassDir(const std::string& node) { return my::Comm::SystemPath("/sys/class/tty/" + node); }

// The terminal a path leads to: each link is followed until a name the tty
// class knows turns up (a by-id link names ttyUSB0 one step before the
// device node itself).
std::string NodeName(std::string path)
{
    for (int step = 0; step < 8 && !path.empty(); ++step) {
        if (Exists(TtyClassDir(BaseName(path))))
            return BaseName(path);
        path = LinkTarget(path);
    }
    return std::string();
}

// The stable name udev gave the terminal, found by the terminal it leads to.
std::string ByIdName(const std::string& node)
{
    const std::string dir = my::Comm::SystemPath("/dev/serial/by-id");
    std::string found;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d))
            if (e->d_name[0] != '.' && NodeName(dir + "/" + e->d_name) == node)
                found = e->d_name;
        closedir(d);
    }
    return found;
}

// The USB device a port belongs to: the nearest folder above the port's
// device that carries the USB ids.
std::string UsbDeviceDir(const std::string& portDevice)
{
    const std::string sysRoot = Resolved(my::Comm::SystemPath("/sys"));
    for (std::string dir = portDevice; !sysRoot.empty() && dir.size() > sysRoot.size(); dir = DirName(dir))
        if (Exists(dir + "/idVendor"))
            return dir;
    return std::string();
}

} // namespace

PortFacts ReadPortFacts(const std::string& path)
{
    PortFacts f;
    f.path = path;
    f.node = NodeName(path);
    if (f.node.empty())
        return f;
    f.byId = ByIdName(f.node);
    const std::string device = Resolved(TtyClassDir(f.node) + "/device");
    if (device.empty())
        return f;
    f.driver = BaseName(LinkTarget(device + "/driver"));
    const std::string latency = Attribute(device + "/latency_timer");
    if (!latency.empty())
        f.latencyTimerMs = std::atoi(latency.c_str());
    const std::string usb = UsbDeviceDir(device);
    if (!usb.empty()) {
        f.vendorId = Attribute(usb + "/idVendor");
        f.productId = Attribute(usb + "/idProduct");
        f.manufacturer = Attribute(usb + "/manufacturer");
        f.product = Attribute(usb + "/product");
        f.serial = Attribute(usb + "/serial");
    }
    return f;
}

std::string PortFactsText(const PortFacts& f)
{
    std::string text = f.path;
    if (!f.node.empty() && BaseName(f.path) != f.node)
        text += " (" + f.node + ")";
    if (!f.byId.empty() && BaseName(f.path) != f.byId)
        text += "\nby-id: " + f.byId;
    std::string driver;
    if (!f.driver.empty())
        driver = "драйвер " + f.driver;
    if (!f.vendorId.empty())
        driver += (driver.empty() ? "" : ", ") + std::string("USB ") + f.vendorId + ":" + f.productId;
    if (!driver.empty())
        text += "\n" + driver;
    std::string product = f.product;
    if (!f.manufacturer.empty())
        product = f.manufacturer + (product.empty() ? "" : " " + product);
    if (!product.empty())
        text += "\n" + product;
    if (!f.serial.empty())
        text += "\nсерийный номер " + f.serial;
    return text;
}

std::string DescribePort(unsigned portNumber)
{
    const std::string path = my::Comm::PortDevicePath(portNumber);
    return path.empty() ? std::string() : PortFactsText(ReadPortFacts(path));
}

} // namespace my::PortDoctor
