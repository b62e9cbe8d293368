#include "core/simulator/SlaveTable.h"

#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/modbus/HexText.h"

namespace vantor {

namespace {

constexpr int kReadHolding = 3;

// The slave a data field polls, as the frame tells the module to poll it.
Slave slaveOf(const DataField& field, int pollInterval) {
  Slave s;
  s.enabled = true;
  s.address = std::uint8_t(field.slaveAddress);
  s.functionCode = std::uint8_t(field.functionCode);
  s.startRegister = field.startRegister;
  s.registerCount = std::uint8_t(registerCount(field.dataType));
  s.dataType = field.dataType;
  s.decimals = field.decimals;
  s.intervalMs = pollInterval * 100;
  return s;
}

// Modbus reference numbers: 4xxxxx for holding registers, 3xxxxx for input registers, the
// register number counting from 1.
SlaveView viewOf(const Slave& s) {
  const QString reference = QString(s.functionCode == kReadHolding ? u'4' : u'3') +
                            QString::number(s.startRegister + 1).rightJustified(4, u'0');
  if (s.registerCount == 1)
    return {QString::number(s.address), true, QStringLiteral("n / a"), reference};
  return {QString::number(s.address), true, reference, QString::number(reference.toLongLong() + 1)};
}

// Keys the simulator's slaves depend on; the others (rows, digits, ...) only concern the
// module's display.
bool pollKey(const QString& key) {
  for (const char* name : {"Saddr", "RHigh", "RLow", "Fcode", "DT", "Interval", "DP"})
    if (key.startsWith(QLatin1String(name), Qt::CaseInsensitive)) return true;
  return false;
}

QString noticeOf(const IniFile& ini, const char* section, const QString& fileError,
                 const QStringList& defaulted) {
  if (!fileError.isEmpty())
    return fileError + QStringLiteral(
                           " The simulator answers as a module configured with "
                           "first-use defaults would poll.");
  QStringList keys;
  for (const QString& key : defaulted)
    if (pollKey(key)) keys << key;
  if (keys.isEmpty()) return {};
  return QStringLiteral(
             "The settings file %1 has no usable value for %2 in section [%3], so "
             "the simulator uses the first-use defaults, as Configure LCD would "
             "show them.")
      .arg(ini.filePath(), keys.join(QStringLiteral(", ")), QLatin1String(section));
}

}  // namespace

QStringList valueListEntries(int element) {
  const int count = element == 2 ? 16 : (element == 0 || element == 1) ? 256 : 0;
  QStringList entries;
  entries.reserve(count);
  for (int value = 0; value < count; ++value)
    entries << QStringLiteral("0x") + hexDigits(unsigned(value));
  return entries;
}

SlaveTableLoad loadSlaveTable1602(const IniFile& ini) {
  const Config1602Load load = loadConfig1602(ini);
  SlaveTableLoad result;
  result.table[0] = slaveOf(load.cfg.field, load.cfg.pollInterval);
  result.views[0] = viewOf(result.table[0]);
  for (std::size_t i = 1; i < kSlaveCount; ++i)
    result.views[i].address = QStringLiteral("Disabled");
  result.notice = noticeOf(ini, ini::cfg1602::kSection, load.fileError, load.defaulted);
  return result;
}

SlaveTableLoad loadSlaveTable2004(const IniFile& ini) {
  const Config2004Load load = loadConfig2004(ini);
  SlaveTableLoad result;
  for (std::size_t i = 0; i < kSlaveCount; ++i) {
    result.table[i] = slaveOf(load.cfg.fields[i], load.cfg.pollInterval);
    result.views[i] = viewOf(result.table[i]);
  }
  result.notice = noticeOf(ini, ini::cfg2004::kSection, load.fileError, load.defaulted);
  return result;
}

}  // namespace vantor
