#pragma once

#include "shared/modVar.h"

#include <array>
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

// Check value over positions 0..count-1 of `frame`; count is clamped to 0..kFrameSize.
CheckValue CRC16(const std::array<std::uint8_t, kFrameSize>& frame, int count);

}  // namespace vantor
