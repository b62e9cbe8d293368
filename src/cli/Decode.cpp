#include "cli/Decode.h"

#include "core/config/DataType.h"
#include "core/modbus/HexText.h"
#include "core/modbus/LineSettings.h"

#include <QStringList>

#include <cctype>

namespace vantor::cli {

namespace {

// "0x01F4 (500)"
QString wordText(std::uint16_t value) {
  return QStringLiteral("0x%1 (%2)").arg(hexDigits(value, 4)).arg(value);
}

QString lineWords(const ModuleLine& line, int pollInterval) {
  return QStringLiteral(
             "LCD Baud Rate: %1\nLCD Data Format: %2\nPolling interval: %3 s (%4 x 100 ms)\n")
      .arg(line.baud.value_or(0))
      .arg(QLatin1String(line.format ? kDataFormats[std::size_t(*line.format)].label : "?"))
      .arg(QString::number(pollInterval / 10.0, 'f', 1))
      .arg(pollInterval);
}

// Each row as the module shows it, between quotes.
QString rowWords(std::span<const QString> rows, int width) {
  QString text;
  for (std::size_t r = 0; r < rows.size(); ++r)
    text += QStringLiteral("Row %1: \"%2\"\n").arg(r).arg(shownRow(rows[r], width));
  return text;
}

QString fieldWords(const DataField& field, bool twoLine) {
  const DataTypeInfo& type = infoOf(field.dataType);
  return QStringLiteral(
             "  Slave address: %1\n  Function code: %2\n  Start register: %3\n"
             "  Digits (the decimal point counted): %4\n  Decimal places: %5\n"
             "  Data type: %6\n  Start location: %7\n")
      .arg(field.slaveAddress)
      .arg(field.functionCode == 3 ? QStringLiteral("03 (holding registers)")
                                   : QStringLiteral("04 (input registers)"))
      .arg(wordText(field.startRegister))
      .arg(field.digits)
      .arg(field.decimals)
      .arg(QLatin1String(twoLine ? type.twoLineName : type.fourLineName))
      .arg(field.startLocation);
}

// A sentence for a trip point the settings file does not keep: one a frame built from the file
// sends as `kept`. Empty when it is that.
QString tripNote(const QString& name, std::uint16_t trip, std::uint16_t kept) {
  if (trip == kept) return {};
  return QStringLiteral(
             "%1 %2 is not kept in the settings file: a frame built from it sends 0x%3.\n")
      .arg(name, wordText(trip), hexDigits(kept, 4));
}

QString words1602(const Config1602& cfg) {
  using namespace frame1602;
  return QStringLiteral("Two-line module (1602)\n") + lineWords(cfg.line, cfg.pollInterval) +
         rowWords(cfg.rows, kRowWidth) + QStringLiteral("Data field:\n") +
         fieldWords(cfg.field, true) +
         QStringLiteral("  Alarm trip point: %1\n").arg(wordText(cfg.alarmTrip)) +
         tripNote(QStringLiteral("Alarm trip point"), cfg.alarmTrip, Config1602{}.alarmTrip);
}

QString words2004(const Config2004& cfg) {
  using namespace frame2004;
  QString text = QStringLiteral("Four-line module (2004)\n") +
                 lineWords(cfg.line, cfg.pollInterval) +
                 QStringLiteral("Active data fields: %1\n").arg(cfg.activeFields) +
                 rowWords(cfg.rows, kRowWidth);
  QString notes;
  const Field2004 kept;
  for (int k = 0; k < kFieldCount; ++k) {
    const Field2004& field = cfg.fields[k];
    const QString name = QStringLiteral("Data field %1").arg(k + 1);
    text += name + (k < cfg.activeFields ? QString() : QStringLiteral(" (not active)")) +
            QStringLiteral(":\n") + fieldWords(field, false) +
            QStringLiteral("  High alarm trip point: %1\n  Low alarm trip point: %2\n")
                .arg(wordText(field.highTrip), wordText(field.lowTrip));
    notes +=
        tripNote(name + QStringLiteral("'s high alarm trip point"), field.highTrip, kept.highTrip);
    notes +=
        tripNote(name + QStringLiteral("'s low alarm trip point"), field.lowTrip, kept.lowTrip);
  }
  return text + notes;
}

}  // namespace

std::optional<QByteArray> frameOfInput(const QByteArray& input, QString* error) {
  qsizetype digits = 0;
  for (const char c : input) {
    if (std::isxdigit(static_cast<unsigned char>(c)))
      ++digits;
    else if (!std::isspace(static_cast<unsigned char>(c)))
      return input;
  }
  if (digits % 2 == 0) return QByteArray::fromHex(input);
  if (error)
    *error = QStringLiteral("the input is hex text with an odd number of digits (%1)").arg(digits);
  return std::nullopt;
}

DecodedFrame decodeFrame(QByteArrayView frame, const std::optional<QString>& module) {
  const bool twoLine = module ? *module == u"1602" : frame.size() == frame1602::kSize;
  if (!module && !twoLine && frame.size() != frame2004::kSize)
    return {{},
            {},
            QStringLiteral("the frame is %1 bytes; a two-line module's frame is %2 and a "
                           "four-line module's %3")
                .arg(frame.size())
                .arg(frame1602::kSize)
                .arg(frame2004::kSize)};
  if (twoLine) {
    DecodedConfig<Config1602> decoded = decodeConfig1602(frame);
    return {decoded.cfg, {}, decoded.refusal};
  }
  DecodedConfig<Config2004> decoded = decodeConfig2004(frame);
  return {{}, decoded.cfg, decoded.refusal};
}

QString decodedWords(const DecodedFrame& decoded) {
  return decoded.cfg1602 ? words1602(*decoded.cfg1602) : words2004(*decoded.cfg2004);
}

std::vector<IniEntry> decodedEntries(const DecodedFrame& decoded) {
  return decoded.cfg1602 ? config1602Entries(*decoded.cfg1602)
                         : config2004Entries(*decoded.cfg2004);
}

QString settingsLines(std::span<const IniEntry> entries) {
  QStringList sections;  // in the order the entries first name them
  for (const IniEntry& entry : entries)
    if (!sections.contains(entry.section)) sections << entry.section;
  QStringList blocks;
  for (const QString& section : sections) {
    QString block = u'[' + section + QStringLiteral("]\n");
    for (const IniEntry& entry : entries)
      if (entry.section == section) block += QString::fromUtf8(entryLine(entry)) + u'\n';
    blocks << block;
  }
  return blocks.join(u'\n');
}

}  // namespace vantor::cli
