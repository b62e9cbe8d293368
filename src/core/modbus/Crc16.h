#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <span>

namespace vantor {

// Modbus RTU check value as it goes on the line: low byte first, then high byte.
struct CheckValue {
  std::uint8_t lo = 0;
  std::uint8_t hi = 0;
  friend bool operator==(const CheckValue&, const CheckValue&) = default;
};

// CRC-16 of Modbus RTU: preset 0xFFFF, reflected polynomial 0xA001, no final inversion.
std::uint16_t crc16(std::span<const std::uint8_t> bytes);

// The check value a frame whose body is `body` must end with.
CheckValue checkValue(QByteArrayView body);

// Whether `frame` ends with the check value of the bytes before it.
bool checkValueHolds(QByteArrayView frame);

// `body` followed by its check value, low byte first (Modbus over serial line, 2.5.1.2: the
// CRC is appended low-order byte first).
QByteArray withCheckValue(QByteArrayView body);

}  // namespace vantor
