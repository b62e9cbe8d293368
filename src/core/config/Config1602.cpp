#include "core/config/Config1602.h"

#include "core/config/FrameReader.h"

#include <span>

namespace vantor {

namespace {

namespace keys = ini::cfg1602;
constexpr const char* kSection = keys::kSection;
constexpr FieldKeys kFieldKeys{keys::kAddress, keys::kDigits, keys::kDecimals, keys::kStart,
                               keys::kDataType};
static_assert(keys::kDataType.last == int(kDataTypes.size()) - 1);

constexpr std::uint16_t kAlarmOnOpening = 0xFFFF;

QString caption(const char* text) {
  return QString::fromLatin1(text);
}

// Without a chosen format the ending of the text read at opening is kept, so a text that
// matched no format survives the save. A baud rate it began with is dropped first: the chosen
// baud rate goes in front, and keeping both would grow the text by one baud rate per save.
QString lineSettingsTail(const Config1602& cfg) {
  if (cfg.line.format) return moduleLineText({std::nullopt, cfg.line.format});
  const std::optional<int> heldBaud = moduleLineOf(cfg.lineText).baud;
  return heldBaud ? cfg.lineText.mid(QString::number(*heldBaud).size()) : cfg.lineText;
}

// In the order an opening has always read them, which is the order its notice names them.
void loadNumbers(SettingsRestore& restore, Config1602& cfg) {
  const auto number = [&](const NumberKey& key, const char* text) {
    return restore.number(kSection, key, caption(text));
  };
  DataField& field = cfg.field;
  field.slaveAddress = number(keys::kAddress, captions::kSlaveAddress);
  cfg.pollInterval = number(ini::kInterval, captions::kPollInterval);
  const int registerHi = number(keys::kRegisterHi, captions::kRegisterHi);
  const int registerLo = number(keys::kRegisterLo, captions::kRegisterLo);
  field.startRegister = std::uint16_t(registerHi << 8 | registerLo);
  field.digits = number(keys::kDigits, captions::kDigits);
  field.startLocation = number(keys::kStart, captions::kStartLocation);
  field.decimals = number(keys::kDecimals, captions::kDecimals);
  field.dataType = DataType(number(keys::kDataType, captions::kDataType));
  field.functionCode = restore.functionCode(kSection, caption(captions::kFunctionCode));
}

QStringList unlistedOf(const Config1602& cfg) {
  QStringList unlisted;
  if (!frame1602::kLineCodes.baudCode(cfg.line.baud)) unlisted << caption(captions::kBaud);
  if (!frame1602::kLineCodes.formatCode(cfg.line.format))
    unlisted << caption(captions::kDataFormat);
  if (!allows(ini::kInterval, cfg.pollInterval)) unlisted << caption(captions::kPollInterval);
  return unlisted + unlistedSettings(cfg.field, kFieldKeys);
}

constexpr FieldBytes kFieldBytes{frame1602::kSlaveAddress, frame1602::kFunctionCode,
                                 frame1602::kRegisterHi,   frame1602::kRegisterLo,
                                 frame1602::kDecimals,     frame1602::kDataType,
                                 frame1602::kStart,        frame1602::kDigits};

}  // namespace

Config1602Load loadConfig1602(const IniFile& ini) {
  SettingsRestore restore(ini);
  Config1602 cfg;
  loadNumbers(restore, cfg);

  // A text that matches no pattern leaves the baud rate or data format missing: there is no sound
  // guess at a module's line speed, and the send names the list.
  cfg.lineText = restore.text(kSection, ini::kModuleLineSettings);
  cfg.line = moduleLineOf(cfg.lineText);

  cfg.alarmTrip = kAlarmOnOpening;
  for (int r = 0; r < frame1602::kRowCount; ++r)
    cfg.rows[r] = fitRow(restore.text(kSection, keys::kRows[r]), frame1602::kRowWidth);
  return {cfg, restore.defaultedKeys(), restore.notice(), restore.file().error(),
          restore.nothingSaved(kSection)};
}

std::vector<IniEntry> config1602Entries(const Config1602& cfg) {
  const auto entry = [](const NumberKey& key, int value) {
    return numberEntry(kSection, QString::fromLatin1(key.name), value);
  };
  const auto text = [](const char* key, const QString& value) {
    return textEntry(kSection, QString::fromLatin1(key), value);
  };
  const DataField& field = cfg.field;
  return {
      text(ini::kModuleLineSettings,
           moduleLineText({cfg.line.baud, std::nullopt}) + lineSettingsTail(cfg)),
      entry(ini::kInterval, cfg.pollInterval),
      entry(keys::kRegisterHi, highByte(field.startRegister)),
      entry(keys::kRegisterLo, lowByte(field.startRegister)),
      entry(keys::kDigits, field.digits),
      entry(keys::kStart, field.startLocation),
      entry(keys::kDecimals, field.decimals),
      entry(keys::kDataType, int(field.dataType)),
      text(keys::kRows[0], cfg.rows[0]),
      text(keys::kRows[1], cfg.rows[1]),
      entry(keys::kAddress, field.slaveAddress),
      numberEntry(kSection, QString::fromLatin1(ini::kFunctionCode), field.functionCode),
  };
}

bool saveConfig1602(IniFile& ini, const Config1602& cfg, QString* error) {
  const std::vector<IniEntry> entries = config1602Entries(cfg);
  return saveSettings(ini, entries, error);
}

EncodedFrame<frame1602::kSize> encodeConfig1602(const Config1602& cfg) {
  const QStringList unlisted = unlistedOf(cfg);
  if (!unlisted.isEmpty()) return {std::nullopt, refusalMessage(unlisted), unlisted};

  using namespace frame1602;
  const DataField& field = cfg.field;
  Frame1602 f{};
  const std::span<std::uint8_t> bytes(f);
  putRow(bytes.subspan(kRow0, kRowWidth), cfg.rows[0]);
  putRow(bytes.subspan(kRow1, kRowWidth), cfg.rows[1]);
  f[kBaud] = *kLineCodes.baudCode(cfg.line.baud);
  f[kDataFormat] = *kLineCodes.formatCode(cfg.line.format);
  f[kInterval] = std::uint8_t(cfg.pollInterval);
  f[kDecimals] = std::uint8_t(field.decimals);
  f[kDataType] = std::uint8_t(field.dataType);
  f[kRegisterHi] = highByte(field.startRegister);
  f[kRegisterLo] = lowByte(field.startRegister);
  f[kSlaveAddress] = std::uint8_t(field.slaveAddress);
  f[kFunctionCode] = std::uint8_t(field.functionCode);
  f[kDigits] = std::uint8_t(field.digits);
  f[kStart] = std::uint8_t(field.startLocation);
  f[kAlarmHi] = highByte(cfg.alarmTrip);
  f[kAlarmLo] = lowByte(cfg.alarmTrip);
  const CheckBytes check = checkBytes(bytes.first(kSum));
  f[kSum] = check.sum;
  f[kComplement] = check.complement;
  return {f, {}, {}};
}

DecodedConfig<Config1602> decodeConfig1602(QByteArrayView bytes) {
  using namespace frame1602;
  const std::span<const std::uint8_t> frame = byteSpan(bytes);
  if (QString fault = frameFault(frame, kShape); !fault.isEmpty()) return {std::nullopt, fault};
  FrameReader read(frame);
  Config1602 cfg;
  cfg.rows = {read.row(kRow0, kRowWidth), read.row(kRow1, kRowWidth)};
  cfg.line = read.line(kBaud, kDataFormat, kLineCodes);
  cfg.lineText = moduleLineText(cfg.line);
  cfg.pollInterval = read.number(kInterval, ini::kInterval, caption(captions::kPollInterval));
  cfg.field = read.field(kFieldBytes, kFieldKeys, caption);
  cfg.alarmTrip = read.word(kAlarmHi, kAlarmLo);
  if (QString refusal = read.refusal(); !refusal.isEmpty()) return {std::nullopt, refusal};
  return {cfg, {}};
}

}  // namespace vantor
