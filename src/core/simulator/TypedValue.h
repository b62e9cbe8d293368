#pragma once

// Register values typed as the display module shows them: the raw value a slave answers,
// read through the module's configured data type and decimal places.

#include "core/config/DataType.h"

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <optional>
#include <utility>

namespace vantor {

inline constexpr std::uint32_t kMaxOneRegister = 0xFFFF;
inline constexpr std::uint32_t kMaxTwoRegisters = 0xFFFFF;  // what the value lists can carry

struct TypedFormat {
  DataType type = DataType::Unsigned;
  int decimals = 0;  // 0..5
};

// The integer range (as the module counts, before decimal places) that `format` can carry in
// the lists.
std::pair<qint64, qint64> typedRange(TypedFormat format);

// The raw register value for `text` as the module shows it, or a refusal for the user naming
// the allowed range in the same typed form, e.g. "Give a number from -3276.8 to 3276.7
// (Signed Integer, 1 decimal place)." or "Give a number with at most 1 decimal place."
struct TypedParse {
  std::optional<std::uint32_t> raw;
  QString refusal;
};
TypedParse encodeTyped(const QString& text, TypedFormat format);

// A plain decimal number with at most `decimals` decimal places as the integer the module
// counts ("12.5" at one place is 125), whatever its range; nothing for anything else (an
// exponent, "nan", "inf", more than 15 digits), with a sentence in `why` when it had too many
// decimal places.
std::optional<qint64> scaledNumber(const QString& text, int decimals, QString* why = nullptr);

// An integer as the module counts, written as it shows it ("-12.5" for -125 at one place).
QString typedText(qint64 integer, TypedFormat format);

// How the module shows `raw` (the value the lists hold): "12.5", "-0.3", "1234"; for a BCD
// type with a nibble above 9, a text saying it is not valid BCD, e.g. "not BCD (0x12A4)".
QString decodeTyped(std::uint32_t raw, TypedFormat format);

// The integer the module shows for raw (before decimal places); nothing for invalid BCD.
std::optional<qint64> typedInteger(std::uint32_t raw, TypedFormat format);

// The raw value for an integer as the module counts; nothing outside typedRange.
std::optional<std::uint32_t> rawOf(qint64 integer, TypedFormat format);

}  // namespace vantor
