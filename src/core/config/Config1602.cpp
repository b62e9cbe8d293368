#include "core/config/Config1602.h"

#include <span>
#include <tuple>

namespace vantor {

namespace {

const QString kSection = QStringLiteral("Cfg1602");

// First-use defaults: what a numeric key restores to when it is missing, empty, not a number
// or outside its list, as the entry value shown. They describe a typical first set-up: one
// slave at the address most devices leave the factory with, read once a second from its
// first holding register as a plain 16-bit number.
//
//   key       list          default
//   Saddr     cboSlaveID    1
//   Interval  cboSampling   10 (x 100 ms = 1 s)
//   RHigh     cboSAH        00
//   RLow      cboSAL        00
//   Dwidth1   cboDWidth     5 (all digits of 0..65535)
//   SP1       cboStart      0 (left edge)
//   DP1       cboDP         0
//   DT        cboDT         0 "Unsigned Integer"
//   Fcode     opt03/opt04   "Function Code 03" (SettingsRestore::opt03)
struct NumericKey {
  const char* key;
  int Config1602::*position;
  int defaultValue;
};
constexpr NumericKey kNumericKeys[] = {
    {"Saddr", &Config1602::cboSlaveID, 1},  {"Interval", &Config1602::cboSampling, 10},
    {"RHigh", &Config1602::cboSAH, 0},      {"RLow", &Config1602::cboSAL, 0},
    {"Dwidth1", &Config1602::cboDWidth, 5}, {"SP1", &Config1602::cboStart, 0},
    {"DP1", &Config1602::cboDP, 0},         {"DT", &Config1602::cboDT, 0},
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
    return std::vector<Config1602List>{
        list(&Config1602::cboBaud, "cboBaud", "LCD Baud Rate", baudEntries()),
        list(&Config1602::cboDF1, "cboDF1", "LCD Data Format", dataFormatEntries()),
        list(&Config1602::cboSampling, "cboSampling", "Polling Interval (x 100ms )",
             numberEntries(1, 255), 1),
        list(&Config1602::cboSlaveID, "cboSlaveID", "Modbus Slave Address", numberEntries(1, 255), 1),
        list(&Config1602::cboSAH, "cboSAH", "Reg Address Hi", hex),
        list(&Config1602::cboSAL, "cboSAL", "Reg Address Lo", hex),
        list(&Config1602::cboDWidth, "cboDWidth", "Number of digits including decimal point",
             numberEntries(1, 6), 1),
        list(&Config1602::cboDP, "cboDP", "Number of decimal place", numberEntries(0, 5)),
        list(&Config1602::cboStart, "cboStart", "Data Display Start Location", numberEntries(0, 30)),
        list(&Config1602::cboDT, "cboDT", "Data Type",
             {"Unsigned Integer", "Signed Integer", "BCD", "Long BCD", "Long Integer"}),
        list(&Config1602::cboAlarmHi, "cboAlarmHi", "Alarm Trip Point Hi", hex),
        list(&Config1602::cboAlarmLo, "cboAlarmLo", "Alarm Trip Point Lo", hex),
    };
  }();
  return lists;
}

Config1602Load loadConfig1602(const IniFile& ini) {
  SettingsRestore restore(ini);
  Config1602 cfg;
  for (const NumericKey& k : kNumericKeys) {
    const ChoiceList& list = listOf(k.position);
    cfg.*k.position =
        restore.position(kSection, QString::fromLatin1(k.key), list, k.defaultValue, list.caption);
  }
  cfg.opt03 = restore.opt03(kSection, QStringLiteral("Fcode"), QStringLiteral("Function Code"));

  // A text that matches no pattern leaves its list without a selection: there is no sound
  // guess at a module's line speed, and the send names the list.
  cfg.CSet = restore.text(kSection, QStringLiteral("CSet"));
  std::tie(cfg.cboBaud, cfg.cboDF1) = linePositions(cfg.CSet);

  cfg.cboAlarmHi = cfg.cboAlarmLo = kAlarmOnOpening;
  cfg.txtLine0 = fitRow(restore.text(kSection, QStringLiteral("UDT1")), frame1602::kRowWidth);
  cfg.txtLine1 = fitRow(restore.text(kSection, QStringLiteral("UDT2")), frame1602::kRowWidth);
  return {cfg, restore.defaultedKeys(), restore.notice()};
}

bool saveConfig1602(IniFile& ini, const Config1602& cfg, QString* error) {
  const auto entry = [&](const char* key, int value) {
    return SettingWrite{kSection, QString::fromLatin1(key), QString::number(value)};
  };
  const SettingWrite writes[] = {
      {kSection, QStringLiteral("CSet"), lineSettingsText(cfg.cboBaud, -1) + lineSettingsTail(cfg)},
      entry("Interval", cfg.cboSampling + 1),
      entry("RHigh", cfg.cboSAH),
      entry("RLow", cfg.cboSAL),
      entry("Dwidth1", cfg.cboDWidth + 1),
      entry("SP1", cfg.cboStart),
      entry("DP1", cfg.cboDP),
      entry("DT", cfg.cboDT),
      {kSection, QStringLiteral("UDT1"), cfg.txtLine0},
      {kSection, QStringLiteral("UDT2"), cfg.txtLine1},
      entry("Saddr", cfg.cboSlaveID + 1),
      entry("Fcode", cfg.opt03 ? 3 : 4),
  };
  return writeSettings(ini, writes, error);
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
