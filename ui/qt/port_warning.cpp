#include "ui/qt/port_warning.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/virtual_port_dir.h"

QString portWarningDetails(const std::string& portName, SerialStatus status, const char* statusMessage,
                           bool permissionRefused) {
    if (portName.empty()) {
        return QStringLiteral("No serial port was found: the port list is empty.");
    }
    const QString name = QString::fromStdString(portName);
    if (status == SerialStatus::AccessDenied && permissionRefused) {
        return QStringLiteral(
                   "You have no permission to open %1. Serial ports belong to the group \"dialout\": "
                   "add yourself with \"sudo usermod -aG dialout $USER\", then log out and back in.")
            .arg(name);
    }
    if (status == SerialStatus::AccessDenied) {
        return QStringLiteral("%1 is in use by another program.").arg(name);
    }
    if (status == SerialStatus::NotFound) {
        return QStringLiteral(
                   "%1 is not there any more: the device was unplugged, or the program that "
                   "served it has ended.")
            .arg(name);
    }
    if (status == SerialStatus::Success || statusMessage == nullptr) {
        return {};
    }
    return QStringLiteral("%1: the port reports \"%2\".").arg(name, QString::fromUtf8(statusMessage));
}

QString portLostDetails(const std::string& portName, SerialStatus status, const char* statusMessage,
                        bool devicePresent) {
    const QString name = QString::fromStdString(portName);
    if (!devicePresent) {
        return QStringLiteral(
                   "%1 has gone: the adapter was unplugged, or the program that served the port has "
                   "ended. When it is back in the list, press Open Port.")
            .arg(name);
    }
    const QString reason = status == SerialStatus::Success || statusMessage == nullptr
                               ? QStringLiteral("%1 stopped answering.").arg(name)
                               : QStringLiteral("%1 stopped answering: the port reports \"%2\".")
                                     .arg(name, QString::fromUtf8(statusMessage));
    return reason + QStringLiteral(" Press Open Port to open it again.");
}

namespace {

// The device paths a bare port name stands for; none for a name that is not a plain file name.
std::vector<std::string> devicePaths(const std::string& portName) {
    if (portName.empty() || portName.find('/') != std::string::npos) {
        return {};
    }
    return {"/dev/" + portName, virtualPortDirectory() + "/" + portName};
}

}  // namespace

bool portPermissionRefused(const std::string& portName) {
    for (const std::string& path : devicePaths(portName)) {
        if (access(path.c_str(), F_OK) == 0) {
            return access(path.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
        }
    }
    return false;
}

bool portDevicePresent(const std::string& portName) {
    for (const std::string& path : devicePaths(portName)) {
        if (access(path.c_str(), F_OK) == 0) {
            return true;
        }
    }
    return false;
}
