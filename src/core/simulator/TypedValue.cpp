#include "core/simulator/TypedValue.h"

#include "core/modbus/HexText.h"

#include <QRegularExpression>

#include <algorithm>

namespace vantor {

namespace {

constexpr int kMaxDecimals = 5;

int decimalsOf(TypedFormat format) {
  return std::clamp(format.decimals, 0, kMaxDecimals);
}

bool isTwoRegisters(DataType type) {
  return registerCount(type) == 2;
}

bool isBcd(DataType type) {
  return type == DataType::Bcd || type == DataType::LongBcd;
}

// The integer with `decimals` digits after the point, as the module writes it: always exactly
// that many, with a leading "0." for small values so "-3" at one place reads "-0.3".
QString withDecimals(qint64 integer, int decimals) {
  QString digits = QString::number(integer < 0 ? -integer : integer);
  if (decimals > 0) {
    digits = digits.rightJustified(decimals + 1, u'0');
    digits.insert(digits.size() - decimals, u'.');
  }
  return integer < 0 ? u'-' + digits : digits;
}

QString rangeRefusal(TypedFormat format) {
  const auto [low, high] = typedRange(format);
  const int d = decimalsOf(format);
  QString kind = typeName(format.type);
  if (d > 0) kind += QStringLiteral(", %1 decimal place%2").arg(d).arg(d == 1 ? "" : "s");
  return QStringLiteral("Give a number from %1 to %2 (%3).")
      .arg(withDecimals(low, d), withDecimals(high, d), kind);
}

QString decimalsRefusal(int decimals) {
  if (decimals == 0) return QStringLiteral("Give a whole number.");
  return QStringLiteral("Give a number with at most %1 decimal place%2.")
      .arg(decimals)
      .arg(decimals == 1 ? "" : "s");
}

}  // namespace

std::pair<qint64, qint64> typedRange(TypedFormat format) {
  switch (format.type) {
    case DataType::Unsigned:
      return {0, kMaxOneRegister};
    case DataType::Signed:
      return {-32768, 32767};
    case DataType::Bcd:
      return {0, 9999};
    // Five nibbles fit the lists (the sixth is the top byte's, always zero), each at most 9.
    case DataType::LongBcd:
      return {0, 99999};
    // A negative long would need a top byte of 0xFF, which the lists cannot hold.
    case DataType::LongInteger:
      return {0, kMaxTwoRegisters};
  }
  return {0, 0};
}

std::optional<qint64> typedInteger(std::uint32_t raw, TypedFormat format) {
  // A one-register type reads only the register a one-register slave sends.
  const std::uint32_t value = isTwoRegisters(format.type) ? raw : raw & kMaxOneRegister;
  switch (format.type) {
    case DataType::Unsigned:
      return qint64(value);
    case DataType::Signed:
      return qint64(std::int16_t(value));
    case DataType::LongInteger:
      return qint64(std::int32_t(value));
    case DataType::Bcd:
    case DataType::LongBcd:
      break;
  }
  qint64 integer = 0;
  for (int shift = isTwoRegisters(format.type) ? 28 : 12; shift >= 0; shift -= 4) {
    const std::uint32_t digit = (value >> shift) & 0xF;
    if (digit > 9) return std::nullopt;
    integer = integer * 10 + digit;
  }
  return integer;
}

std::optional<std::uint32_t> rawOf(qint64 integer, TypedFormat format) {
  const auto [low, high] = typedRange(format);
  if (integer < low || integer > high) return std::nullopt;
  // Two's complement in one register: -125 is 0xFF83.
  if (format.type == DataType::Signed) return std::uint32_t(integer) & kMaxOneRegister;
  if (!isBcd(format.type)) return std::uint32_t(integer);
  // One decimal digit per nibble, the lowest digit in the lowest nibble.
  std::uint32_t raw = 0;
  for (int shift = 0; integer > 0; shift += 4, integer /= 10)
    raw |= std::uint32_t(integer % 10) << shift;
  return raw;
}

std::optional<qint64> scaledNumber(const QString& text, int decimals, QString* why) {
  // Plain decimal digits: no hex, no exponent, no "nan" or "inf", no thousands separators.
  static const QRegularExpression kNumber(QStringLiteral(R"(^([+-]?)(\d+)(?:\.(\d+))?$)"));
  const int d = std::clamp(decimals, 0, kMaxDecimals);
  const auto match = kNumber.match(text.trimmed());
  QString whole = match.captured(2);
  QString fraction = match.captured(3);
  // "12.50" at one place still means 12.5; only digits that carry weight are too many.
  while (fraction.endsWith(u'0')) fraction.chop(1);
  while (whole.size() > 1 && whole.startsWith(u'0')) whole.remove(0, 1);
  const QString digits = whole + fraction.leftJustified(d, u'0');
  // Beyond 15 digits nothing is in any range, and qint64 stays safe from overflow.
  if (!match.hasMatch() || fraction.size() > d || digits.size() > 15) {
    if (why) *why = match.hasMatch() && fraction.size() > d ? decimalsRefusal(d) : QString();
    return std::nullopt;
  }
  const qint64 magnitude = digits.toLongLong();
  return match.captured(1) == u"-" ? -magnitude : magnitude;
}

TypedParse encodeTyped(const QString& text, TypedFormat format) {
  QString why;
  const auto integer = scaledNumber(text, format.decimals, &why);
  // A number that is no number at all is answered with the range, which says what is wanted.
  if (!integer) return {std::nullopt, why.isEmpty() ? rangeRefusal(format) : why};
  // A minus sign is out of range for types that carry no negative values, even on zero.
  if (text.trimmed().startsWith(u'-') && typedRange(format).first == 0)
    return {std::nullopt, rangeRefusal(format)};
  const auto raw = rawOf(*integer, format);
  if (!raw) return {std::nullopt, rangeRefusal(format)};
  return {raw, {}};
}

QString typedText(qint64 integer, TypedFormat format) {
  return withDecimals(integer, decimalsOf(format));
}

QString decodeTyped(std::uint32_t raw, TypedFormat format) {
  const auto integer = typedInteger(raw, format);
  if (!integer) {
    const int width = isTwoRegisters(format.type) ? 8 : 4;
    return QStringLiteral("not BCD (0x%1)").arg(hexDigits(raw, width));
  }
  return withDecimals(*integer, decimalsOf(format));
}

}  // namespace vantor
