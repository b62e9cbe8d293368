#include "core/poll/ModulePolls.h"

#include "core/modbus/Crc16.h"
#include "core/modbus/RtuFrame.h"

#include <algorithm>

namespace vantor {

namespace {

PolledField fieldPoll(int field, const DataField& f, int pollInterval) {
  const Slave slave = slaveOf(f, pollInterval);
  return {field, slave, readRequest(slave)};
}

// Why a configuration read as `load` gives nothing to poll; empty when it gives something.
template <typename Load, typename Encoded>
QString refusalOf(const Load& load, const Encoded& encoded, const IniFile& ini, bool twoLine,
                  bool lineGiven) {
  const QString module = twoLine ? QStringLiteral("two-line") : QStringLiteral("four-line");
  const QString section = QLatin1String(twoLine ? ini::cfg1602::kSection : ini::cfg2004::kSection);
  if (!load.fileError.isEmpty())
    return QStringLiteral("The settings file could not be read, so there is nothing to poll: %1")
        .arg(load.fileError);
  if (load.firstUse)
    return QStringLiteral(
               "The %1 module's configuration has not been saved yet (%2 has no section [%3]): "
               "there is nothing to poll.")
        .arg(module, ini.filePath(), section);
  QStringList unchosen = encoded.unchosen;
  if (lineGiven)
    unchosen.removeIf([](const QString& caption) {
      return caption == QLatin1String(captions::kBaud) ||
             caption == QLatin1String(captions::kDataFormat);
    });
  if (unchosen.isEmpty()) return {};
  return QStringLiteral(
             "The saved configuration gives no usable %1, so no module could have been "
             "configured with it. Choose them in the %2 module's configuration window and save "
             "it (section [%3] of %4).")
      .arg(unchosen.join(QStringLiteral(", ")), module, section, ini.filePath());
}

}  // namespace

QByteArray readRequest(const Slave& slave) {
  QByteArray body(rtu::kRequestBody, '\0');
  body[rtu::kSlaveAddress] = char(slave.address);
  body[rtu::kFunctionCode] = char(slave.functionCode);
  body[rtu::kStartHi] = char(slave.startRegister >> 8);
  body[rtu::kStartLo] = char(slave.startRegister & 0xFF);
  body[rtu::kCountHi] = 0;
  body[rtu::kCountLo] = char(slave.registerCount);
  return withCheckValue(body);
}

std::optional<LineSettings> moduleLineSettings(const ModuleLine& line) {
  const auto rate = std::find(kBaudRates.begin(), kBaudRates.end(), line.baud.value_or(0));
  if (rate == kBaudRates.end()) return std::nullopt;
  return lineSettingsOf(LineChoice{int(rate - kBaudRates.begin()), line.format});
}

ModulePollsLoad loadModulePolls(const IniFile& ini, bool twoLine, bool lineGiven) {
  ModulePollsLoad result;
  ModulePolls polls;
  if (twoLine) {
    const Config1602Load load = loadConfig1602(ini);
    result.refusal = refusalOf(load, encodeConfig1602(load.cfg), ini, true, lineGiven);
    result.notice = load.notice;
    polls.fields.push_back(fieldPoll(1, load.cfg.field, load.cfg.pollInterval));
    polls.intervalMs = load.cfg.pollInterval * 100;
    polls.line = load.cfg.line;
    polls.config1602 = load.cfg;
  } else {
    const Config2004Load load = loadConfig2004(ini);
    result.refusal = refusalOf(load, encodeConfig2004(load.cfg), ini, false, lineGiven);
    result.notice = load.notice;
    for (int k = 0; k < std::clamp(load.cfg.activeFields, 0, kFieldCount); ++k)
      polls.fields.push_back(fieldPoll(k + 1, load.cfg.fields[k], load.cfg.pollInterval));
    polls.intervalMs = load.cfg.pollInterval * 100;
    polls.line = load.cfg.line;
    polls.config2004 = load.cfg;
  }
  if (result.refusal.isEmpty()) result.polls = std::move(polls);
  return result;
}

}  // namespace vantor
