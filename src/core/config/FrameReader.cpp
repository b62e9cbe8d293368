#include "core/config/FrameReader.h"

#include "core/modbus/HexText.h"
#include "core/modbus/LineSettings.h"

namespace vantor {

namespace {

constexpr std::uint8_t kFirstPrintable = 0x20;
constexpr std::uint8_t kLastPrintable = 0x7E;

QString caption(const char* text) {
  return QString::fromLatin1(text);
}

}  // namespace

void FrameReader::note(int at, const QString& why) {
  notes_[at] = QStringLiteral("byte %1 is %2 (%3); %4")
                   .arg(at)
                   .arg(QStringLiteral("0x") + hexDigits(frame_[std::size_t(at)]))
                   .arg(frame_[std::size_t(at)])
                   .arg(why);
}

int FrameReader::number(int at, const NumberKey& key, const QString& caption) {
  const int value = frame_[std::size_t(at)];
  if (!allows(key, value))
    note(at, QStringLiteral("%1 lists %2 to %3").arg(caption).arg(key.first).arg(key.last));
  return value;
}

std::optional<int> FrameReader::code(int at, std::span<const std::uint8_t> codes,
                                     const char* name) {
  QStringList listed;
  for (std::size_t i = 0; i < codes.size(); ++i) {
    if (codes[i] == frame_[std::size_t(at)]) return int(i);
    listed << hexDigits(codes[i]);
  }
  note(at,
       QStringLiteral("%1 lists codes %2").arg(caption(name), listed.join(QStringLiteral(", "))));
  return std::nullopt;
}

ModuleLine FrameReader::line(int baudAt, int formatAt, const LineCodes& codes) {
  ModuleLine line;
  if (const auto baud = code(baudAt, codes.baud, captions::kBaud))
    line.baud = kBaudRates[std::size_t(*baud)];
  line.format = code(formatAt, codes.format, captions::kDataFormat);
  return line;
}

std::uint16_t FrameReader::word(int hi, int lo) const {
  return std::uint16_t(frame_[std::size_t(hi)] << 8 | frame_[std::size_t(lo)]);
}

// The settings file keeps any number, but an opening reads all but 3 as 4 (see
// SectionReader::functionCode), so only these two come back as they were.
int FrameReader::functionCode(int at, const QString& caption) {
  const int value = frame_[std::size_t(at)];
  if (value != 3 && value != 4) note(at, QStringLiteral("%1 lists 3 and 4").arg(caption));
  return value;
}

QString FrameReader::row(int at, int width) {
  QString text;
  for (int i = at; i < at + width; ++i) {
    const std::uint8_t byte = frame_[std::size_t(i)];
    if (byte < kFirstPrintable || byte > kLastPrintable)
      note(i, QStringLiteral("no row text gives it: rows hold printable ASCII"));
    else if (byte == kBlankMark)
      note(i, QStringLiteral("no row text gives it: a typed ^ is sent as a blank"));
    text += QChar(byte);
  }
  while (text.endsWith(QChar(kRowPadding))) text.chop(1);
  return text;
}

DataField FrameReader::field(const FieldBytes& at, const FieldKeys& keys,
                             const FieldCaption& name) {
  DataField f;
  f.slaveAddress = number(at.address, keys.address, name(captions::kSlaveAddress));
  f.functionCode = functionCode(at.functionCode, name(captions::kFunctionCode));
  f.startRegister = word(at.registerHi, at.registerLo);
  f.decimals = number(at.decimals, keys.decimals, name(captions::kDecimals));
  f.dataType = DataType(number(at.dataType, keys.dataType, name(captions::kDataType)));
  f.startLocation = number(at.start, keys.start, name(captions::kStartLocation));
  f.digits = number(at.digits, keys.digits, name(captions::kDigits));
  return f;
}

QString FrameReader::refusal() const {
  if (notes_.empty()) return {};
  QStringList notes;
  for (const auto& [at, why] : notes_) notes << why;
  return QStringLiteral("the frame holds values no list of the window offers: %1")
      .arg(notes.join(QStringLiteral("; ")));
}

}  // namespace vantor
