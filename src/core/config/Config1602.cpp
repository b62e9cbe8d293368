#include "core/config/Config1602.h"

#include <span>
#include <tuple>

namespace vantor {

namespace {

namespace keys = ini::cfg1602;
constexpr const char* kSection = keys::kSection;

// Which key each numeric list restores from.
struct NumericKey {
  const NumberKey& key;
  int Config1602::*position;
};
const NumericKey kNumericKeys[] = {
    {keys::kAddress, &Config1602::cboSlaveID}, {ini::kInterval, &Config1602::cboSampling},
    {keys::kRegisterHi, &Config1602::cboSAH},  {keys::kRegisterLo, &Config1602::cboSAL},
    {keys::kDigits, &Config1602::cboDWidth},   {keys::kStart, &Config1602::cboStart},
    {keys::kDecimals, &Config1602::cboDP},     {keys::kDataType, &Config1602::cboDT},
};

constexpr int kAlarmOnOpening = 0xFF;

const ChoiceList& listOf(int Config1602::*position) {
  for (const Config1602List& l : config1602Lists())
    if (l.position == position) return l.list;
  Q_UNREACHABLE();
}

// Without a chosen format the ending of the text read at opening is kept, so a text that
// matched no format survives the save. A baud part it began with is dropped first: the chosen
// baud goes in front, and keeping both would grow the text by one baud part per save.
QString lineSettingsTail(const Config1602& cfg) {
  if (selects(cfg.cboDF1, dataFormatEntries().size())) return lineSettingsText(-1, cfg.cboDF1);
  const int heldBaud = linePositions(cfg.CSet).first;
  return heldBaud < 0 ? cfg.CSet : cfg.CSet.mid(baudEntries().at(heldBaud).size());
}

}  // namespace

const std::vector<Config1602List>& config1602Lists() {
  static const std::vector<Config1602List> lists = [] {
    const auto list = [](int Config1602::*position, const char* control, const char* caption,
                         QStringList entries, int firstEntry = 0) {
      return Config1602List{position,
                            {QString::fromLatin1(control), QString::fromLatin1(caption),
                             std::move(entries), firstEntry}};
    };
    const QStringList hex = hexEntries(QString());
    const auto range = [](const NumberKey& key) { return numberEntries(key.first, key.last); };
    return std::vector<Config1602List>{
        list(&Config1602::cboBaud, "cboBaud", "LCD Baud Rate", baudEntries()),
        list(&Config1602::cboDF1, "cboDF1", "LCD Data Format", dataFormatEntries()),
        list(&Config1602::cboSampling, "cboSampling", "Polling Interval (x 100ms )",
             range(ini::kInterval), ini::kInterval.first),
        list(&Config1602::cboSlaveID, "cboSlaveID", "Modbus Slave Address", range(keys::kAddress),
             keys::kAddress.first),
        list(&Config1602::cboSAH, "cboSAH", "Reg Address Hi", hex),
        list(&Config1602::cboSAL, "cboSAL", "Reg Address Lo", hex),
        list(&Config1602::cboDWidth, "cboDWidth", "Number of digits including decimal point",
             range(keys::kDigits), keys::kDigits.first),
        list(&Config1602::cboDP, "cboDP", "Number of decimal place", range(keys::kDecimals)),
        list(&Config1602::cboStart, "cboStart", "Data Display Start Location", range(keys::kStart)),
        list(&Config1602::cboDT, "cboDT", "Data Type", dataTypeEntries(&DataTypeInfo::twoLineName)),
        list(&Config1602::cboAlarmHi, "cboAlarmHi", "Alarm Trip Point Hi", hex),
        list(&Config1602::cboAlarmLo, "cboAlarmLo", "Alarm Trip Point Lo", hex),
    };
  }();
  return lists;
}

Config1602Load loadConfig1602(const IniFile& ini) {
  SettingsRestore restore(ini);
  Config1602 cfg;
  for (const NumericKey& k : kNumericKeys)
    cfg.*k.position = restore.position(kSection, k.key, listOf(k.position).caption);
  cfg.opt03 = restore.opt03(kSection, QStringLiteral("Function Code"));

  // A text that matches no pattern leaves its list without a selection: there is no sound
  // guess at a module's line speed, and the send names the list.
  cfg.CSet = restore.text(kSection, ini::kModuleLineSettings);
  std::tie(cfg.cboBaud, cfg.cboDF1) = linePositions(cfg.CSet);

  cfg.cboAlarmHi = cfg.cboAlarmLo = kAlarmOnOpening;
  cfg.txtLine0 = fitRow(restore.text(kSection, keys::kRows[0]), frame1602::kRowWidth);
  cfg.txtLine1 = fitRow(restore.text(kSection, keys::kRows[1]), frame1602::kRowWidth);
  return {cfg, restore.defaultedKeys(), restore.notice(), restore.file().error()};
}

std::vector<IniEntry> config1602Entries(const Config1602& cfg) {
  const auto entry = [](const NumberKey& key, int position) {
    return numberEntry(kSection, QString::fromLatin1(key.name), position + key.first);
  };
  return {
      textEntry(kSection, QString::fromLatin1(ini::kModuleLineSettings),
                lineSettingsText(cfg.cboBaud, -1) + lineSettingsTail(cfg)),
      entry(ini::kInterval, cfg.cboSampling),
      entry(keys::kRegisterHi, cfg.cboSAH),
      entry(keys::kRegisterLo, cfg.cboSAL),
      entry(keys::kDigits, cfg.cboDWidth),
      entry(keys::kStart, cfg.cboStart),
      entry(keys::kDecimals, cfg.cboDP),
      entry(keys::kDataType, cfg.cboDT),
      textEntry(kSection, QString::fromLatin1(keys::kRows[0]), cfg.txtLine0),
      textEntry(kSection, QString::fromLatin1(keys::kRows[1]), cfg.txtLine1),
      entry(keys::kAddress, cfg.cboSlaveID),
      numberEntry(kSection, QString::fromLatin1(ini::kFunctionCode), cfg.opt03 ? 3 : 4),
  };
}

bool saveConfig1602(IniFile& ini, const Config1602& cfg, QString* error) {
  const std::vector<IniEntry> entries = config1602Entries(cfg);
  return saveSettings(ini, entries, error);
}

EncodedFrame<frame1602::kSize> encodeConfig1602(const Config1602& cfg) {
  QStringList unselected;
  for (const Config1602List& l : config1602Lists())
    if (!selects(cfg.*l.position, l.list.entries.size())) unselected << l.list.caption;
  if (!unselected.isEmpty()) return {std::nullopt, refusalMessage(unselected)};

  using namespace frame1602;
  Frame1602 f{};
  const std::span<std::uint8_t> bytes(f);
  putRow(bytes.subspan(kRow0, kRowWidth), cfg.txtLine0);
  putRow(bytes.subspan(kRow1, kRowWidth), cfg.txtLine1);
  f[kBaud] = kLineCodes.baud.at(static_cast<std::size_t>(cfg.cboBaud));
  f[kDataFormat] = kLineCodes.format.at(static_cast<std::size_t>(cfg.cboDF1));
  f[kInterval] = listByte(cfg.cboSampling, 1);
  f[kDecimals] = listByte(cfg.cboDP);
  f[kDataType] = listByte(cfg.cboDT);
  f[kRegisterHi] = listByte(cfg.cboSAH);
  f[kRegisterLo] = listByte(cfg.cboSAL);
  f[kSlaveAddress] = listByte(cfg.cboSlaveID, 1);
  f[kFunctionCode] = functionCodeByte(cfg.opt03);
  f[kDigits] = listByte(cfg.cboDWidth, 1);
  f[kStart] = listByte(cfg.cboStart);
  f[kAlarmHi] = listByte(cfg.cboAlarmHi);
  f[kAlarmLo] = listByte(cfg.cboAlarmLo);
  const CheckBytes check = checkBytes(bytes.first(kSum));
  f[kSum] = check.sum;
  f[kComplement] = check.complement;
  return {f, {}};
}

}  // namespace vantor
