#include "core/simulator/SlaveTable.h"

#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/modbus/HexText.h"

#include <algorithm>
#include <utility>

namespace vantor {

namespace {

constexpr int kReadHolding = 3;

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

// "a", "a and b", "a, b and c".
QString spokenList(const QStringList& items) {
  if (items.size() < 2) return items.join(QString());
  return items.first(items.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") +
         items.back();
}

// The polls the simulator answers, by slave address in the order first met: "slave 1,
// registers 40001 and 40002; slave 3, register 30011".
QString answersAs(const SlaveTable& table) {
  QList<std::pair<QString, QStringList>> slaves;
  for (const Slave& s : table) {
    if (!s.enabled) continue;
    const SlaveView view = viewOf(s);
    auto at = std::find_if(slaves.begin(), slaves.end(),
                           [&](const auto& slave) { return slave.first == view.address; });
    if (at == slaves.end()) at = slaves.insert(slaves.end(), {view.address, {}});
    const QStringList registers = s.registerCount == 2
                                      ? QStringList{*view.firstReg, *view.secondReg}
                                      : QStringList{*view.secondReg};
    for (const QString& reference : registers)
      if (!at->second.contains(reference)) at->second << reference;
  }
  QStringList said;
  for (const auto& [address, registers] : slaves)
    said << QStringLiteral("slave %1, %2 %3")
                .arg(address,
                     registers.size() == 1 ? QStringLiteral("register")
                                           : QStringLiteral("registers"),
                     spokenList(registers));
  return said.join(QStringLiteral("; "));
}

// What to tell of a load whose module is called `module` ("two-line").
template <typename Load>
void noteLoad(SlaveTableLoad& result, const IniFile& ini, const char* section, const char* module,
              const Load& load) {
  const QString answers =
      QStringLiteral("the simulator answers as %1, as the configuration window would show it.")
          .arg(answersAs(result.table));
  const QString name = QLatin1String(module);
  if (!load.fileError.isEmpty()) {
    result.notice = QStringLiteral("The saved configuration could not be read, so %1").arg(answers);
    result.noticeWarns = true;
    result.noticeDetails = load.fileError;
    return;
  }
  if (load.firstUse) {
    result.notice = QStringLiteral("The %1 module's configuration has not been saved yet: %2")
                        .arg(name, answers);
    result.noticeDetails = QStringLiteral("The settings file %1 has no section [%2].")
                               .arg(ini.filePath(), QLatin1String(section));
    return;
  }
  QStringList keys;
  for (const QString& key : load.defaulted)
    if (pollKey(key)) keys << key;
  if (keys.isEmpty()) return;
  result.notice =
      QStringLiteral("Some of the %1 module's saved settings are missing or unusable, so %2")
          .arg(name, answers);
  result.noticeWarns = true;
  result.noticeDetails =
      QStringLiteral("The settings file %1 has no usable value for %2 in section [%3].")
          .arg(ini.filePath(), keys.join(QStringLiteral(", ")), QLatin1String(section));
}

}  // namespace

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

QString slaveName(int address, int field) {
  return QStringLiteral("slave %1 (field %2)").arg(address).arg(field);
}

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
  noteLoad(result, ini, ini::cfg1602::kSection, "two-line", load);
  result.config1602 = load.cfg;
  return result;
}

SlaveTableLoad loadSlaveTable2004(const IniFile& ini) {
  const Config2004Load load = loadConfig2004(ini);
  SlaveTableLoad result;
  for (std::size_t i = 0; i < kSlaveCount; ++i) {
    result.table[i] = slaveOf(load.cfg.fields[i], load.cfg.pollInterval);
    result.views[i] = viewOf(result.table[i]);
  }
  noteLoad(result, ini, ini::cfg2004::kSection, "four-line", load);
  result.config2004 = load.cfg;
  return result;
}

}  // namespace vantor
