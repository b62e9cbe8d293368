#include "core/config/Config2004.h"

#include "core/config/FrameReader.h"

#include <span>

namespace vantor {

namespace {

namespace keys = ini::cfg2004;
constexpr const char* kSection = keys::kSection;
constexpr FieldKeys kFieldKeys{keys::kAddress, keys::kDigits, keys::kDecimals, keys::kStart,
                               keys::kDataType};
static_assert(keys::kDataType.last == int(kDataTypes.size()) - 1);

QString fieldNumber(int k) {
  return QString::number(k + 1);
}

QString caption(const char* text) {
  return QString::fromLatin1(text);
}

// Key by key across the four fields, in the order an opening has always read them, which is
// the order its notice names them. Fields 2 to 4 wait on the next registers of field 1's
// slave (RLow defaults to k - 1).
void loadFields(SettingsRestore& restore, std::array<Field2004, kFieldCount>& fields) {
  const auto each = [&](const NumberKey& key, const char* text, auto put) {
    for (int k = 0; k < kFieldCount; ++k) {
      const auto fieldDefault = &key == &keys::kRegisterLo ? std::optional<int>(k) : std::nullopt;
      put(fields[k], restore.number(kSection, key, fieldCaption(caption(text), k), fieldNumber(k),
                                    fieldDefault));
    }
  };
  each(keys::kAddress, captions::kSlaveAddress, [](Field2004& f, int v) { f.slaveAddress = v; });
  each(keys::kRegisterHi, captions::kRegisterHi,
       [](Field2004& f, int v) { f.startRegister = std::uint16_t(v << 8); });
  each(keys::kRegisterLo, captions::kRegisterLo,
       [](Field2004& f, int v) { f.startRegister = std::uint16_t(f.startRegister | v); });
  each(keys::kDigits, captions::kDigits, [](Field2004& f, int v) { f.digits = v; });
  each(keys::kDecimals, captions::kDecimals, [](Field2004& f, int v) { f.decimals = v; });
  each(keys::kStart, captions::kStartLocation, [](Field2004& f, int v) { f.startLocation = v; });
  each(keys::kDataType, captions::kDataType, [](Field2004& f, int v) { f.dataType = DataType(v); });
  for (int k = 0; k < kFieldCount; ++k)
    fields[k].functionCode = restore.functionCode(
        kSection, fieldCaption(caption(captions::kFunctionCode), k), fieldNumber(k));
}

QStringList unlistedOf(const Config2004& cfg) {
  QStringList unlisted;
  if (!frame2004::kLineCodes.baudCode(cfg.line.baud)) unlisted << caption(captions::kBaud);
  if (!frame2004::kLineCodes.formatCode(cfg.line.format))
    unlisted << caption(captions::kDataFormat);
  if (!allows(ini::kInterval, cfg.pollInterval)) unlisted << caption(captions::kPollInterval);
  if (!allows(ini::settings::kActiveFields, cfg.activeFields))
    unlisted << caption(captions::kActiveFields);
  for (int k = 0; k < kFieldCount; ++k)
    for (const QString& setting : unlistedSettings(cfg.fields[k], kFieldKeys))
      unlisted << fieldCaption(setting, k);
  return unlisted;
}

void putField(std::span<std::uint8_t> bytes, int k, const Field2004& field) {
  using namespace frame2004;
  const std::span<std::uint8_t> request = bytes.subspan(kRequests + k * kRequestSize, kRequestSize);
  request[kSlaveAddress] = std::uint8_t(field.slaveAddress);
  request[kFunctionCode] = std::uint8_t(field.functionCode);
  request[kRegisterHi] = highByte(field.startRegister);
  request[kRegisterLo] = lowByte(field.startRegister);
  bytes[kDecimals + k] = std::uint8_t(field.decimals);
  bytes[kDataType + k] = std::uint8_t(field.dataType);
  bytes[kStart + k] = std::uint8_t(field.startLocation);
  bytes[kDigits + k] = std::uint8_t(field.digits);
  bytes[kHighAlarmHi + k] = highByte(field.highTrip);
  bytes[kHighAlarmLo + k] = lowByte(field.highTrip);
  bytes[kLowAlarmHi + k] = highByte(field.lowTrip);
  bytes[kLowAlarmLo + k] = lowByte(field.lowTrip);
}

Field2004 readField(FrameReader& read, int k) {
  using namespace frame2004;
  const int request = kRequests + k * kRequestSize;
  const FieldBytes at{request + kSlaveAddress,
                      request + kFunctionCode,
                      request + kRegisterHi,
                      request + kRegisterLo,
                      kDecimals + k,
                      kDataType + k,
                      kStart + k,
                      kDigits + k};
  Field2004 field;
  static_cast<DataField&>(field) =
      read.field(at, kFieldKeys, [k](const char* text) { return fieldCaption(caption(text), k); });
  field.highTrip = read.word(kHighAlarmHi + k, kHighAlarmLo + k);
  field.lowTrip = read.word(kLowAlarmHi + k, kLowAlarmLo + k);
  return field;
}

}  // namespace

QString fieldCaption(const QString& caption, int k) {
  return QStringLiteral("%1 (field %2)").arg(caption).arg(k + 1);
}

std::array<bool, kFieldCount> enabledFields(int activeFields) {
  std::array<bool, kFieldCount> enabled{};
  for (int k = 0; k < kFieldCount; ++k) enabled[k] = k < activeFields;
  return enabled;
}

Config2004Load loadConfig2004(const IniFile& ini) {
  SettingsRestore restore(ini);
  Config2004 cfg;

  // A text that matches no pattern leaves the baud rate or data format missing: there is no sound
  // guess at a module's line speed, and the send names the list.
  cfg.line = moduleLineOf(restore.text(kSection, ini::kModuleLineSettings));
  loadFields(restore, cfg.fields);
  for (int r = 0; r < frame2004::kRowCount; ++r)
    cfg.rows[r] = fitRow(restore.text(kSection, keys::kRows[r]), frame2004::kRowWidth);
  // Every opening starts with the high trip points at 0xFFFF and the low ones at 0x0000: the
  // record's own.
  cfg.pollInterval = restore.number(kSection, ini::kInterval, caption(captions::kPollInterval));
  cfg.activeFields = restore.number(ini::settings::kSection, ini::settings::kActiveFields,
                                    caption(captions::kActiveFields));
  return {cfg, restore.defaultedKeys(), restore.notice(), restore.file().error(),
          restore.nothingSaved(kSection)};
}

std::vector<IniEntry> config2004Entries(const Config2004& cfg) {
  std::vector<IniEntry> entries{
      textEntry(kSection, QString::fromLatin1(ini::kModuleLineSettings), moduleLineText(cfg.line)),
      numberEntry(kSection, QString::fromLatin1(ini::kInterval.name), cfg.pollInterval),
      numberEntry(ini::settings::kSection, QString::fromLatin1(ini::settings::kActiveFields.name),
                  cfg.activeFields),
  };
  for (int r = 0; r < frame2004::kRowCount; ++r)
    entries.push_back(textEntry(kSection, QString::fromLatin1(keys::kRows[r]), cfg.rows[r]));
  const auto each = [&](const char* key, auto value) {
    for (int k = 0; k < kFieldCount; ++k)
      entries.push_back(
          numberEntry(kSection, QString::fromLatin1(key) + fieldNumber(k), value(cfg.fields[k])));
  };
  each(keys::kAddress.name, [](const Field2004& f) { return f.slaveAddress; });
  each(keys::kRegisterHi.name, [](const Field2004& f) { return highByte(f.startRegister); });
  each(keys::kRegisterLo.name, [](const Field2004& f) { return lowByte(f.startRegister); });
  each(ini::kFunctionCode, [](const Field2004& f) { return f.functionCode; });
  each(keys::kDigitsWritten, [](const Field2004& f) { return f.digits; });
  each(keys::kDecimals.name, [](const Field2004& f) { return f.decimals; });
  each(keys::kStart.name, [](const Field2004& f) { return f.startLocation; });
  each(keys::kDataType.name, [](const Field2004& f) { return int(f.dataType); });
  return entries;
}

bool saveConfig2004(IniFile& ini, const Config2004& cfg, QString* error) {
  const std::vector<IniEntry> entries = config2004Entries(cfg);
  return saveSettings(ini, entries, error);
}

EncodedFrame<frame2004::kSize> encodeConfig2004(const Config2004& cfg) {
  const QStringList unlisted = unlistedOf(cfg);
  if (!unlisted.isEmpty()) return {std::nullopt, refusalMessage(unlisted), unlisted};

  using namespace frame2004;
  Frame2004 f{};
  const std::span<std::uint8_t> bytes(f);
  for (int r = 0; r < kRowCount; ++r)
    putRow(bytes.subspan(kRows + r * kRowWidth, kRowWidth), cfg.rows[r]);
  f[kBaud] = *kLineCodes.baudCode(cfg.line.baud);
  f[kDataFormat] = *kLineCodes.formatCode(cfg.line.format);
  f[kInterval] = std::uint8_t(cfg.pollInterval);
  f[kActiveFields] = std::uint8_t(cfg.activeFields);
  for (int k = 0; k < kFieldCount; ++k) putField(bytes, k, cfg.fields[k]);
  const CheckBytes check = checkBytes(bytes.first(kSum));
  f[kSum] = check.sum;
  f[kComplement] = check.complement;
  return {f, {}, {}};
}

DecodedConfig<Config2004> decodeConfig2004(QByteArrayView bytes) {
  using namespace frame2004;
  const std::span<const std::uint8_t> frame = byteSpan(bytes);
  if (QString fault = frameFault(frame, kShape); !fault.isEmpty()) return {std::nullopt, fault};
  FrameReader read(frame);
  Config2004 cfg;
  for (int r = 0; r < kRowCount; ++r) cfg.rows[r] = read.row(kRows + r * kRowWidth, kRowWidth);
  cfg.line = read.line(kBaud, kDataFormat, kLineCodes);
  cfg.pollInterval = read.number(kInterval, ini::kInterval, caption(captions::kPollInterval));
  cfg.activeFields =
      read.number(kActiveFields, ini::settings::kActiveFields, caption(captions::kActiveFields));
  for (int k = 0; k < kFieldCount; ++k) cfg.fields[k] = readField(read, k);
  if (QString refusal = read.refusal(); !refusal.isEmpty()) return {std::nullopt, refusal};
  return {cfg, {}};
}

}  // namespace vantor
