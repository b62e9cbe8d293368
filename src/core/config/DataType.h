#pragma once

// The data types a display module reads its registers as. A type's code is what the frame
// carries and the settings file keeps (key DT, DT1 to DT4).

#include <QString>

#include <array>
#include <cstddef>

namespace vantor {

enum class DataType { Unsigned = 0, Signed = 1, Bcd = 2, LongBcd = 3, LongInteger = 4 };

// Every type once: the registers one poll of it reads, and its name in each place it is
// shown. The places do not agree on the BCD types: the four-line window counts their digits.
struct DataTypeInfo {
  DataType type;
  int registers;
  const char* twoLineName;   // the two-line window's list
  const char* fourLineName;  // the four-line window's lists
  const char* valueName;     // the simulator's typed values ("... (Long BCD, 1 decimal place)")
};
inline constexpr std::array<DataTypeInfo, 5> kDataTypes{{
    {DataType::Unsigned, 1, "Unsigned Integer", "Unsigned Integer", "Unsigned Integer"},
    {DataType::Signed, 1, "Signed Integer", "Signed Integer", "Signed Integer"},
    {DataType::Bcd, 1, "BCD", "4 Digits BCD", "BCD"},
    {DataType::LongBcd, 2, "Long BCD", "8 Digits BCD", "Long BCD"},
    {DataType::LongInteger, 2, "Long Integer", "Long Integer", "Long Integer"},
}};
// Looked up by code below.
static_assert([] {
  for (std::size_t i = 0; i < kDataTypes.size(); ++i)
    if (std::size_t(kDataTypes[i].type) != i) return false;
  return true;
}());

// Whether `code` is a type's code.
constexpr bool isDataType(int code) {
  return code >= 0 && code < int(kDataTypes.size());
}

// A code outside the table reads as the first type, so that nothing indexes past it.
constexpr const DataTypeInfo& infoOf(DataType type) {
  return kDataTypes[isDataType(int(type)) ? std::size_t(type) : 0];
}

constexpr int registerCount(DataType type) {
  return infoOf(type).registers;
}

// The name the simulator's typed values use: "Unsigned Integer", "Signed Integer", "BCD",
// "Long BCD", "Long Integer".
inline QString typeName(DataType type) {
  return QString::fromLatin1(infoOf(type).valueName);
}

}  // namespace vantor
