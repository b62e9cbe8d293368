#include "core/modbus/Crc16.h"

namespace vantor {

std::uint16_t crc16(std::span<const std::uint8_t> bytes) {
  std::uint16_t reg = 0xFFFF;
  for (const std::uint8_t byte : bytes) {
    reg ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
      const bool carry = (reg & 1u) != 0;
      reg >>= 1;
      if (carry) reg ^= 0xA001;
    }
  }
  return reg;
}

CheckValue checkValue(QByteArrayView body) {
  const std::uint16_t value = crc16(
      {reinterpret_cast<const std::uint8_t*>(body.data()), static_cast<std::size_t>(body.size())});
  return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
}

bool checkValueHolds(QByteArrayView frame) {
  return frame.size() >= 3 && checkValue(frame.first(frame.size() - 2)) ==
                                  CheckValue{std::uint8_t(frame[frame.size() - 2]),
                                             std::uint8_t(frame[frame.size() - 1])};
}

QByteArray withCheckValue(QByteArrayView body) {
  const CheckValue check = checkValue(body);
  return body.toByteArray().append(char(check.lo)).append(char(check.hi));
}

}  // namespace vantor
