#include "modbus/modcrc16.h"

#include <algorithm>

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

CheckValue CRC16(const std::array<std::uint8_t, kFrameSize>& frame, int count) {
  const auto n = static_cast<std::size_t>(std::clamp(count, 0, kFrameSize));
  const std::uint16_t value = crc16(std::span(frame).first(n));
  return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
}

}  // namespace vantor
