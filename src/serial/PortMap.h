#pragma once

#include <QString>
#include <QStringList>

namespace vantor {

class IniFile;

// Serial devices present under `devFolder`, in the order port numbers count them: USB
// adapters first (ttyUSB, then ttyACM), then built-in ports (ttyS, ttyAMA), each by number.
QStringList serialDevicesPresent(const QString& devFolder = QStringLiteral("/dev"));

// The device port number `port` stands for when no [Ports] entry names one: on Windows
// "COMn"; elsewhere the n-th of `devices`. Empty when there is no such device.
QString defaultDeviceForPort(int port, const QStringList& devices);

// The device that opening port number `port` opens: the [Ports] entry for it, read afresh,
// or else the default above. Empty when the number stands for no device.
QString devicePathForPort(const IniFile& ini, int port);

}  // namespace vantor
