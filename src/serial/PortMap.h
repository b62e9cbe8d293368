#pragma once

#include <QString>
#include <QStringList>

namespace vantor {

class IniFile;

// Serial devices present under `devFolder`, in the order port numbers count them: USB
// adapters first (ttyUSB, then ttyACM), then built-in ports (ttyS, ttyAMA), each by number.
// On Windows: the COM ports the system lists now, "COMn" by number (`devFolder` is not used).
QStringList serialDevicesPresent(const QString& devFolder = QStringLiteral("/dev"));

// The device port number `port` stands for when no [Ports] entry names one: on Windows
// "COMn"; elsewhere the n-th of `devices`. Empty when there is no such device.
QString defaultDeviceForPort(int port, const QStringList& devices);

// The device that opening port number `port` opens: the [Ports] entry for it, read afresh,
// or else the default above among the devices under `devFolder`. Empty when the number
// stands for no device.
QString devicePathForPort(const IniFile& ini, int port,
                          const QString& devFolder = QStringLiteral("/dev"));

// What the system says of the adapter behind `device`, for a person telling two apart:
// "FT232R USB UART, FTDI, serial A1B2C3"; empty when it says nothing (a built-in port, a
// pseudo-terminal).
QString adapterDescription(const QString& device);
// The same from its parts; a part the system does not know is left out.
QString adapterDescription(const QString& description, const QString& maker,
                           const QString& serialNumber);

}  // namespace vantor
