#pragma once

// Byte layouts of the two Modbus RTU frames the slave simulator handles.
//
// Read request (received), 8 bytes:      Read response (sent), B = 2 (one register) or 4:
//   0  slave address                       0        slave address (from the request)
//   1  function code, 3 or 4               1        function code (from the request)
//   2  start register, high byte           2        byte count B
//   3  start register, low byte            3..2+B   register data, high byte first
//   4  register count, high byte (0)       3+B      check value, low byte
//   5  register count, low byte (1 or 2)   4+B      check value, high byte
//   6  check value, low byte  (over 0..5)
//   7  check value, high byte
// The check value covers every byte before it: 6 in a request, 5 or 7 in a response.

#include <array>

namespace vantor::rtu {

inline constexpr int kSlaveAddress = 0;
inline constexpr int kFunctionCode = 1;

// The highest address a slave may have: 0 is the broadcast, 248 to 255 are reserved.
inline constexpr int kHighestAddress = 247;

inline constexpr int kStartHi = 2;
inline constexpr int kStartLo = 3;
inline constexpr int kCountHi = 4;
inline constexpr int kCountLo = 5;
inline constexpr int kRequestCheckLo = 6;
inline constexpr int kRequestCheckHi = 7;
inline constexpr int kRequestBody = 6;  // bytes covered by the request's check value
inline constexpr int kRequestLength = 8;

inline constexpr int kByteCount = 2;
inline constexpr int kReplyData = 3;
inline constexpr int kOneRegisterReplyBody = 5;
inline constexpr int kOneRegisterReplyLength = 7;
inline constexpr int kTwoRegisterReplyBody = 7;
inline constexpr int kTwoRegisterReplyLength = 9;

inline constexpr int kReadHolding = 3;
inline constexpr int kReadInput = 4;

// An exception reply: the address, the function code with this bit set, the exception code,
// the check value.
inline constexpr int kExceptionBit = 0x80;
inline constexpr int kExceptionLength = 5;

// The exception codes and what they mean (Modbus application protocol, 7).
struct ExceptionCode {
  int code;
  const char* meaning;
};
inline constexpr std::array<ExceptionCode, 9> kExceptions{
    {{1, "illegal function"},
     {2, "illegal data address"},
     {3, "illegal data value"},
     {4, "server device failure"},
     {5, "acknowledge"},
     {6, "server device busy"},
     {8, "memory parity error"},
     {10, "gateway path unavailable"},
     {11, "gateway target device failed to respond"}}};

// What `code` means; "unknown exception" for a code the protocol does not name.
constexpr const char* exceptionMeaning(int code) {
  for (const ExceptionCode& e : kExceptions)
    if (e.code == code) return e.meaning;
  return "unknown exception";
}

}  // namespace vantor::rtu
