#include "core/config/Config2004.h"

#include <span>
#include <tuple>

namespace vantor {

namespace {

namespace keys = ini::cfg2004;
constexpr const char* kSection = keys::kSection;

// Which key each data field's numeric lists restore from; fields 2 to 4 wait on the next
// registers of field 1's slave (RLow defaults to k - 1).
struct FieldKey {
  const NumberKey& key;
  int Field2004::*position;
};
const FieldKey kFieldKeys[] = {
    {keys::kAddress, &Field2004::cboSlaveID}, {keys::kRegisterHi, &Field2004::cboSAH},
    {keys::kRegisterLo, &Field2004::cboSAL},  {keys::kDigits, &Field2004::cboDWidth},
    {keys::kDecimals, &Field2004::cboDP},     {keys::kStart, &Field2004::cboStart},
    {keys::kDataType, &Field2004::cboDT},
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

QString fieldNumber(int k) {
  return QString::number(k + 1);
}

QStringList range(const NumberKey& key) {
  return numberEntries(key.first, key.last);
}

}  // namespace

const std::vector<Config2004List>& config2004Lists() {
  static const std::vector<Config2004List> lists{
      {&Config2004::cboBaud, {"cboBaud", "LCD Baud Rate", baudEntries()}},
      {&Config2004::cboDF1, {"cboDF1", "LCD Data Format", dataFormatEntries()}},
      {&Config2004::cboSampling,
       {"cboSampling", "Polling Interval (x 100ms )", range(ini::kInterval), ini::kInterval.first}},
      {&Config2004::cboAF,
       {"cboAF", "Select Number of Active Data Fields", range(ini::settings::kActiveFields),
        ini::settings::kActiveFields.first}},
  };
  return lists;
}

const std::vector<Field2004List>& field2004Lists() {
  static const std::vector<Field2004List> lists = [] {
    const QStringList hex = hexEntries(QStringLiteral("0x"));
    return std::vector<Field2004List>{
        {&Field2004::cboSlaveID,
         {"cboSlaveID", "Modbus Slave Address", range(keys::kAddress), keys::kAddress.first}},
        {&Field2004::cboSAH, {"cboSAH", "Reg Address Hi", hex}},
        {&Field2004::cboSAL, {"cboSAL", "Reg Address Lo", hex}},
        {&Field2004::cboDWidth,
         {"cboDWidth", "Number of digits including decimal point", range(keys::kDigits),
          keys::kDigits.first}},
        {&Field2004::cboDP, {"cboDP", "Number of decimal place", range(keys::kDecimals)}},
        {&Field2004::cboStart, {"cboStart", "Data Display Start Location", range(keys::kStart)}},
        {&Field2004::cboDT, {"cboDT", "Data Type", dataTypeEntries(&DataTypeInfo::fourLineName)}},
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
  const QString lineSettings = restore.text(kSection, ini::kModuleLineSettings);
  std::tie(cfg.cboBaud, cfg.cboDF1) = linePositions(lineSettings);

  for (const FieldKey& k : kFieldKeys) {
    const ChoiceList& list = listOf(field2004Lists(), k.position);
    for (int f = 0; f < kFieldCount; ++f) {
      const auto fieldDefault = &k.key == &keys::kRegisterLo ? std::optional<int>(f) : std::nullopt;
      cfg.fields[f].*k.position = restore.position(kSection, k.key, fieldCaption(list.caption, f),
                                                   fieldNumber(f), fieldDefault);
    }
  }
  for (int f = 0; f < kFieldCount; ++f)
    cfg.fields[f].opt03 =
        restore.opt03(kSection, fieldCaption(QStringLiteral("Function Code"), f), fieldNumber(f));
  for (int r = 0; r < frame2004::kRowCount; ++r)
    cfg.txtLine[r] = fitRow(restore.text(kSection, keys::kRows[r]), frame2004::kRowWidth);
  for (Field2004& field : cfg.fields) {
    field.cboAlarmHi = field.cboAlarmLo = kHighAlarmOnOpening;
    field.cboALH = field.cboALL = kLowAlarmOnOpening;
  }

  cfg.cboSampling = restore.position(kSection, ini::kInterval,
                                     listOf(config2004Lists(), &Config2004::cboSampling).caption);
  cfg.cboAF = restore.position(ini::settings::kSection, ini::settings::kActiveFields,
                               listOf(config2004Lists(), &Config2004::cboAF).caption);
  return {cfg, restore.defaultedKeys(), restore.notice(), restore.file().error()};
}

std::vector<IniEntry> config2004Entries(const Config2004& cfg) {
  const auto entry = [](const NumberKey& key, int position, const QString& suffix = {}) {
    return numberEntry(kSection, QString::fromLatin1(key.name) + suffix, position + key.first);
  };
  std::vector<IniEntry> entries{
      textEntry(kSection, QString::fromLatin1(ini::kModuleLineSettings),
                lineSettingsText(cfg.cboBaud, cfg.cboDF1)),
      entry(ini::kInterval, cfg.cboSampling),
      numberEntry(ini::settings::kSection, QString::fromLatin1(ini::settings::kActiveFields.name),
                  cfg.cboAF + ini::settings::kActiveFields.first),
  };
  for (int r = 0; r < frame2004::kRowCount; ++r)
    entries.push_back(textEntry(kSection, QString::fromLatin1(keys::kRows[r]), cfg.txtLine[r]));
  const auto perField = [&](const NumberKey& key, int Field2004::*position) {
    for (int f = 0; f < kFieldCount; ++f)
      entries.push_back(entry(key, cfg.fields[f].*position, fieldNumber(f)));
  };
  perField(keys::kAddress, &Field2004::cboSlaveID);
  perField(keys::kRegisterHi, &Field2004::cboSAH);
  perField(keys::kRegisterLo, &Field2004::cboSAL);
  for (int f = 0; f < kFieldCount; ++f)
    entries.push_back(numberEntry(kSection,
                                  QString::fromLatin1(ini::kFunctionCode) + fieldNumber(f),
                                  cfg.fields[f].opt03 ? 3 : 4));
  for (int f = 0; f < kFieldCount; ++f)
    entries.push_back(numberEntry(kSection,
                                  QString::fromLatin1(keys::kDigitsWritten) + fieldNumber(f),
                                  cfg.fields[f].cboDWidth + keys::kDigits.first));
  perField(keys::kDecimals, &Field2004::cboDP);
  perField(keys::kStart, &Field2004::cboStart);
  perField(keys::kDataType, &Field2004::cboDT);
  return entries;
}

bool saveConfig2004(IniFile& ini, const Config2004& cfg, QString* error) {
  const std::vector<IniEntry> entries = config2004Entries(cfg);
  return saveSettings(ini, entries, error);
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
