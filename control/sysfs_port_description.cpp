// What the device behind a listed Linux port is, from sysfs. A USB serial adapter's tty hangs below
// the USB interface it serves, and the USB device above that names its manufacturer and product:
//   /sys/class/tty/ttyUSB0/device -> .../usb1/1-1/1-1:1.0/ttyUSB0   (FTDI: a usb-serial port)
//   /sys/class/tty/ttyACM0/device -> .../usb1/1-2/1-2:1.0           (CDC-ACM: the interface)
// with manufacturer, product and idVendor in .../usb1/1-1 and 1-2. Other devices name their driver
// only (device/driver -> .../drivers/serial8250). From Linux 6.5 on, a UART's tty hangs below a port
// and a controller device of the serial core's own bus, "serial-base", with the hardware above them:
//   /sys/class/tty/ttyS0/device -> .../pnp0/00:00/00:00:0/00:00:0.0   (00:00's driver: serial)
#include <filesystem>
#include <fstream>
#include <system_error>

#include "control/sysfs_port_probe.h"

namespace fs = std::filesystem;

namespace {

// How far above the tty's device the USB device may sit: the interface, then the device.
constexpr int kUsbDeviceLevels = 3;
constexpr std::size_t kLongestText = 64;

// The device names these strings itself: keep them short and printable.
std::string readAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    std::string text;
    for (char c : line.substr(0, kLongestText)) {
        const unsigned char byte = static_cast<unsigned char>(c);
        text += byte < 0x20 || byte == 0x7F ? ' ' : c;
    }
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::string usbDescription(const fs::path& usbDevice) {
    const std::string manufacturer = readAttribute(usbDevice / "manufacturer");
    const std::string product = readAttribute(usbDevice / "product");
    if (product.empty()) {
        return manufacturer;
    }
    if (manufacturer.empty() || product.compare(0, manufacturer.size(), manufacturer) == 0) {
        return product;
    }
    return manufacturer + " " + product;
}

// The last part of where a link leads (a driver's or a bus's name); empty when there is no link.
std::string linkName(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

std::string hardwareDescription(const fs::path& device) {
    std::error_code ec;
    fs::path hardware = fs::canonical(device, ec);
    if (ec) {
        return {};
    }
    for (int level = 0; level < 2 && linkName(hardware / "subsystem") == "serial-base"; ++level) {
        hardware = hardware.parent_path();
    }
    fs::path dir = hardware;
    for (int level = 0; level < kUsbDeviceLevels && dir.has_relative_path(); ++level) {
        if (fs::exists(dir / "idVendor", ec)) {
            if (std::string text = usbDescription(dir); !text.empty()) {
                return text;
            }
            break;
        }
        dir = dir.parent_path();
    }
    return linkName(hardware / "driver");
}

bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

std::string SysfsPortProbe::portDescription(const std::string& name) {
    if (!isPlainFileName(name)) {
        return {};
    }
    std::error_code ec;
    const fs::path device = fs::path(ttyClassDir_) / name / "device";
    if (fs::exists(device, ec)) {
        return hardwareDescription(device);
    }
    if (fs::is_symlink(fs::symlink_status(fs::path(virtualPortDir_) / name, ec))) {
        return "virtual dimmer";
    }
    return {};
}
