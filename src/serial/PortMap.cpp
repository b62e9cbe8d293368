#include "serial/PortMap.h"

#include "core/settings/IniFile.h"
#include "core/settings/Schema.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#ifdef Q_OS_WIN
#include <QSettings>
#else
#include <QSerialPortInfo>
#endif

#include <algorithm>

namespace vantor {

namespace {

// Families of serial device names, in the order port numbers count them.
constexpr const char* kFamilies[] = {"ttyUSB", "ttyACM", "ttyS", "ttyAMA"};

}  // namespace

#ifdef Q_OS_WIN
QStringList serialDevicesPresent(const QString&) {
  // The system's list of the serial ports there are now, as "COMn", by number.
  const QSettings map(QStringLiteral("HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM"),
                      QSettings::NativeFormat);
  static const QRegularExpression comPort(QStringLiteral("^COM(\\d+)$"),
                                          QRegularExpression::CaseInsensitiveOption);
  QList<std::pair<int, QString>> found;
  for (const QString& key : map.childKeys()) {
    const QString name = map.value(key).toString().trimmed();
    const auto m = comPort.match(name);
    if (m.hasMatch()) found.append({m.captured(1).toInt(), name.toUpper()});
  }
  std::sort(found.begin(), found.end());
  QStringList result;
  for (const auto& entry : found) result.append(entry.second);
  return result;
}
#else
QStringList serialDevicesPresent(const QString& devFolder) {
  const QDir dir(devFolder);
  QStringList result;
  for (const char* family : kFamilies) {
    const QRegularExpression pattern(QStringLiteral("^%1(\\d+)$").arg(QLatin1String(family)));
    QList<std::pair<int, QString>> found;
    for (const QString& name : dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
      const auto m = pattern.match(name);
      if (m.hasMatch()) found.append({m.captured(1).toInt(), dir.filePath(name)});
    }
    std::sort(found.begin(), found.end());
    for (const auto& entry : found) result.append(entry.second);
  }
  return result;
}
#endif

QString defaultDeviceForPort(int port, const QStringList& devices) {
  if (port < 1) return {};
#ifdef Q_OS_WIN
  Q_UNUSED(devices);
  return QStringLiteral("COM%1").arg(port);
#else
  return port <= devices.size() ? devices.at(port - 1) : QString();
#endif
}

QString devicePathForPort(const IniFile& ini, int port, const QString& devFolder) {
  if (port < 1) return {};
  const QString mapped =
      ini.read(QLatin1String(ini::ports::kSection), QString::number(port)).trimmed();
  if (!mapped.isEmpty()) return mapped;
  return defaultDeviceForPort(port, serialDevicesPresent(devFolder));
}

QString adapterDescription(const QString& device) {
#ifdef Q_OS_WIN
  // Windows names a port's adapter only through the device manager's tables; the port name
  // says enough to tell two apart.
  Q_UNUSED(device);
  return {};
#else
  // Asked by the device's own name: what the system lists is only read, never opened.
  const QString name = QFileInfo(device).fileName();
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    if (info.portName() != name && info.systemLocation() != device) continue;
    return adapterDescription(info.description(), info.manufacturer(), info.serialNumber());
  }
  return {};
#endif
}

QString adapterDescription(const QString& description, const QString& maker,
                           const QString& serialNumber) {
  QStringList parts;
  if (!description.trimmed().isEmpty()) parts << description.trimmed();
  // A maker the description already names is not said twice.
  if (!maker.trimmed().isEmpty() && !description.contains(maker.trimmed(), Qt::CaseInsensitive))
    parts << maker.trimmed();
  if (!serialNumber.trimmed().isEmpty())
    parts << QStringLiteral("serial %1").arg(serialNumber.trimmed());
  return parts.join(QStringLiteral(", "));
}

}  // namespace vantor
