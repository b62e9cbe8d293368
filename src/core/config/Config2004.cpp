#include "core/config/Config2004.h"

#include <span>
#include <tuple>

namespace vantor {

namespace {

const QString kSection = QStringLiteral("Cfg2004");
const QString kActiveFieldsSection = QStringLiteral("Settings");

// First-use defaults: what a numeric key restores to when it is missing, empty, not a number
// or outside its list, as the entry value shown. They describe a typical first set-up: one
// active field polling the slave at the address most devices leave the factory with once a
// second; fields 2 to 4 wait on the next registers of the same slave, so raising the number
// of active fields shows four consecutive registers at once.
//
//   key               list          default
//   Interval          cboSampling   10 (x 100 ms = 1 s)
//   AF (Settings)     cboAF         1
//   Saddr1..4         cboSlaveID    1
//   RHigh1..4         cboSAH        0x00
//   RLow1..4          cboSAL        0x00, 0x01, 0x02, 0x03
//   Dwidth1..4        cboDWidth     5 (all digits of 0..65535)
//   DP1..4            cboDP         0
//   SP1..4            cboStart      0 (left edge)
//   DT1..4            cboDT         0 "Unsigned Integer"
//   Fcode1..4         opt03/opt04   "Function Code 03" (SettingsRestore::opt03)
constexpr int kDefaultInterval = 10;
constexpr int kDefaultActiveFields = 1;
struct FieldKey {
  const char* key;  // as read; the field number follows
  int Field2004::*position;
  std::array<int, kFieldCount> defaultValue;
};
constexpr FieldKey kFieldKeys[] = {
    {"Saddr", &Field2004::cboSlaveID, {1, 1, 1, 1}},
    {"RHigh", &Field2004::cboSAH, {0, 0, 0, 0}},
    {"RLow", &Field2004::cboSAL, {0, 1, 2, 3}},
    {"Dwidth", &Field2004::cboDWidth, {5, 5, 5, 5}},
    {"DP", &Field2004::cboDP, {0, 0, 0, 0}},
    {"SP", &Field2004::cboStart, {0, 0, 0, 0}},
    {"DT", &Field2004::cboDT, {0, 0, 0, 0}},
};

// Every opening starts with the high trip point at 0xFFFF and the low one at 0x0000.
constexpr int kHighAlarmOnOpening = 0xFF;
constexpr int kLowAlarmOnOpening = 0x00;

template <typename Record>
const ChoiceList& listOf(const std::vector<Record>& lists, decltype(Record::position) position) {
  for (const Record& l : lists)
    if (l.position == position) return l.list;
  Q_UNREACHABLE();
}

QString numbered(const char* key, int k) {
  return QString::fromLatin1(key) + QString::number(k + 1);
}

}  // namespace

const std::vector<Config2004List>& config2004Lists() {
  static const std::vector<Config2004List> lists{
      {&Config2004::cboBaud, {"cboBaud", "LCD Baud Rate", baudEntries()}},
      {&Config2004::cboDF1, {"cboDF1", "LCD Data Format", dataFormatEntries()}},
      {&Config2004::cboSampling,
       {"cboSampling", "Polling Interval (x 100ms )", numberEntries(1, 255), 1}},
      {&Config2004::cboAF, {"cboAF", "Select Number of Active Data Fields", numberEntries(1, 4), 1}},
  };
  return lists;
}

const std::vector<Field2004List>& field2004Lists() {
  static const std::vector<Field2004List> lists = [] {
    const QStringList hex = hexEntries(QStringLiteral("0x"));
    return std::vector<Field2004List>{
        {&Field2004::cboSlaveID, {"cboSlaveID", "Modbus Slave Address", numberEntries(1, 255), 1}},
        {&Field2004::cboSAH, {"cboSAH", "Reg Address Hi", hex}},
        {&Field2004::cboSAL, {"cboSAL", "Reg Address Lo", hex}},
        {&Field2004::cboDWidth,
         {"cboDWidth", "Number of digits including decimal point", numberEntries(1, 9), 1}},
        {&Field2004::cboDP, {"cboDP", "Number of decimal place", numberEntries(0, 5)}},
        {&Field2004::cboStart, {"cboStart", "Data Display Start Location", numberEntries(0, 18)}},
        {&Field2004::cboDT,
         {"cboDT",
          "Data Type",
          {"Unsigned Integer", "Signed Integer", "4 Digits BCD", "8 Digits BCD", "Long Integer"}}},
        {&Field2004::cboAlarmHi, {"cboAlarmHi", "Alarm Trip Point (High) Hi", hex}},
        {&Field2004::cboAlarmLo, {"cboAlarmLo", "Alarm Trip Point (High) Lo", hex}},
        {&Field2004::cboALH, {"cboALH", "Alarm Trip Point (Low) Hi", hex}},
        {&Field2004::cboALL, {"cboALL", "Alarm Trip Point (Low) Lo", hex}},
    };
  }();
  return lists;
}

QString fieldCaption(const QString& caption, int k) {
  return QStringLiteral("%1 (field %2)").arg(caption).arg(k + 1);
}

std::array<bool, kFieldCount> enabledFields(int cboAF) {
  std::array<bool, kFieldCount> enabled{};
  for (int k = 0; k < kFieldCount; ++k) enabled[k] = k <= cboAF;
  return enabled;
}

Config2004Load loadConfig2004(const IniFile& ini) {
  SettingsRestore restore(ini);
  Config2004 cfg;

  // A text that matches no pattern leaves its list without a selection: there is no sound
  // guess at a module's line speed, and the send names the list.
  const QString lineSettings = restore.text(kSection, QStringLiteral("CSet"));
  std::tie(cfg.cboBaud, cfg.cboDF1) = linePositions(lineSettings);

  for (const FieldKey& key : kFieldKeys) {
    const ChoiceList& list = listOf(field2004Lists(), key.position);
    for (int k = 0; k < kFieldCount; ++k)
      cfg.fields[k].*key.position = restore.position(
          kSection, numbered(key.key, k), list, key.defaultValue[k], fieldCaption(list.caption, k));
  }
  for (int k = 0; k < kFieldCount; ++k)
    cfg.fields[k].opt03 = restore.opt03(kSection, numbered("Fcode", k),
                                        fieldCaption(QStringLiteral("Function Code"), k));
  for (int r = 0; r < frame2004::kRowCount; ++r)
    cfg.txtLine[r] = fitRow(restore.text(kSection, numbered("UDT", r)), frame2004::kRowWidth);
  for (Field2004& field : cfg.fields) {
    field.cboAlarmHi = field.cboAlarmLo = kHighAlarmOnOpening;
    field.cboALH = field.cboALL = kLowAlarmOnOpening;
  }

  const ChoiceList& sampling = listOf(config2004Lists(), &Config2004::cboSampling);
  cfg.cboSampling = restore.position(kSection, QStringLiteral("Interval"), sampling,
                                     kDefaultInterval, sampling.caption);
  const ChoiceList& active = listOf(config2004Lists(), &Config2004::cboAF);
  cfg.cboAF = restore.position(kActiveFieldsSection, QStringLiteral("AF"), active,
                               kDefaultActiveFields, active.caption);
  return {cfg, restore.defaultedKeys(), restore.notice()};
}

bool saveConfig2004(IniFile& ini, const Config2004& cfg, QString* error) {
  std::vector<SettingWrite> writes{
      {kSection, QStringLiteral("CSet"), lineSettingsText(cfg.cboBaud, cfg.cboDF1)},
      {kSection, QStringLiteral("Interval"), QString::number(cfg.cboSampling + 1)},
      {kActiveFieldsSection, QStringLiteral("AF"), QString::number(cfg.cboAF + 1)},
  };
  for (int r = 0; r < frame2004::kRowCount; ++r)
    writes.push_back({kSection, numbered("UDT", r), cfg.txtLine[r]});
  const auto perField = [&](const char* key, auto value) {
    for (int k = 0; k < kFieldCount; ++k)
      writes.push_back({kSection, numbered(key, k), QString::number(value(cfg.fields[k]))});
  };
  perField("Saddr", [](const Field2004& f) { return f.cboSlaveID + 1; });
  perField("RHigh", [](const Field2004& f) { return f.cboSAH; });
  perField("RLow", [](const Field2004& f) { return f.cboSAL; });
  perField("Fcode", [](const Field2004& f) { return f.opt03 ? 3 : 4; });
  perField("DWidth", [](const Field2004& f) { return f.cboDWidth + 1; });
  perField("DP", [](const Field2004& f) { return f.cboDP; });
  perField("SP", [](const Field2004& f) { return f.cboStart; });
  perField("DT", [](const Field2004& f) { return f.cboDT; });
  return writeSettings(ini, writes, error);
}

EncodedFrame<frame2004::kSize> encodeConfig2004(const Config2004& cfg) {
  QStringList unselected;
  for (const Config2004List& l : config2004Lists())
    if (!selects(cfg.*l.position, l.list.entries.size())) unselected << l.list.caption;
  for (int k = 0; k < kFieldCount; ++k)
    for (const Field2004List& l : field2004Lists())
      if (!selects(cfg.fields[k].*l.position, l.list.entries.size()))
        unselected << fieldCaption(l.list.caption, k);
  if (!unselected.isEmpty()) return {std::nullopt, refusalMessage(unselected)};

  using namespace frame2004;
  Frame2004 f{};
  const std::span<std::uint8_t> bytes(f);
  for (int r = 0; r < kRowCount; ++r)
    putRow(bytes.subspan(kRows + r * kRowWidth, kRowWidth), cfg.txtLine[r]);
  f[kBaud] = kLineCodes.baud.at(static_cast<std::size_t>(cfg.cboBaud));
  f[kDataFormat] = kLineCodes.format.at(static_cast<std::size_t>(cfg.cboDF1));
  f[kInterval] = listByte(cfg.cboSampling, 1);
  f[kActiveFields] = listByte(cfg.cboAF, 1);
  for (int k = 0; k < kFieldCount; ++k) {
    const Field2004& field = cfg.fields[k];
    const std::span<std::uint8_t> request =
        bytes.subspan(kRequests + k * kRequestSize, kRequestSize);
    request[kSlaveAddress] = listByte(field.cboSlaveID, 1);
    request[kFunctionCode] = functionCodeByte(field.opt03);
    request[kRegisterHi] = listByte(field.cboSAH);
    request[kRegisterLo] = listByte(field.cboSAL);
    f[kDecimals + k] = listByte(field.cboDP);
    f[kDataType + k] = listByte(field.cboDT);
    f[kStart + k] = listByte(field.cboStart);
    f[kDigits + k] = listByte(field.cboDWidth, 1);
    f[kHighAlarmHi + k] = listByte(field.cboAlarmHi);
    f[kHighAlarmLo + k] = listByte(field.cboAlarmLo);
    f[kLowAlarmHi + k] = listByte(field.cboALH);
    f[kLowAlarmLo + k] = listByte(field.cboALL);
  }
  const CheckBytes check = checkBytes(bytes.first(kSum));
  f[kSum] = check.sum;
  f[kComplement] = check.complement;
  return {f, {}};
}

}  // namespace vantor
