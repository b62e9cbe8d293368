#pragma once

// What a listener makes of a line it only hears: the bytes cut into frames and each frame told
// for what it is, by its shape and its place after the frames before it.
//
//   request        8 bytes whose check value holds (a master's read: address, function,
//                  start register, register count)
//   response       an address, function 3 or 4, an even byte count, the registers, a check
//                  value that holds; it answers the read request before it when it echoes its
//                  address and function and counts twice the registers asked for
//   exception      5 bytes: an address, a function code with its high bit set, the exception
//                  code, a check value that holds
//   config-frame   48 or 135 bytes whose check bytes hold: a display module's configuration
//   crc-error      5 bytes or more that are none of these (a frame whose check value is wrong)
//   fragment       fewer bytes, cut off by silence
//
// Frames are cut by the frame cutter's timing rules (FrameCutter.h): found by their check values
// wherever they start among the bytes read together, bytes that are no frame given up at the
// hold. A configuration frame's check is an 8-bit sum, which 1 in 256 shifted starts pass: one
// is only taken once no overlapping candidate may still end later, and of those, one whose rows
// are printable, then the one that ends last, is taken.

#include "core/modbus/FrameCutter.h"
#include "core/monitor/TrafficEvent.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace vantor {

// A read request as the master sent it.
struct ReadRequest {
  std::uint8_t slave = 0;
  std::uint8_t function = 0;
  std::uint16_t start = 0;
  std::uint16_t count = 0;
  friend bool operator==(const ReadRequest&, const ReadRequest&) = default;
  friend auto operator<=>(const ReadRequest&, const ReadRequest&) = default;
};

// The request in `frame` (8 bytes whose check value holds), whatever its function.
std::optional<ReadRequest> requestOf(QByteArrayView frame);
// Whether `reply` (a response or an exception reply) answers `request`: the address and the
// function echoed and, in a response, twice the registers asked for in its byte count.
bool answers(const ReadRequest& request, QByteArrayView reply);
// The registers a response carries, high byte first.
std::vector<std::uint16_t> registersOf(QByteArrayView response);
// One or two registers as the raw value a module reads from them: of two, the high register
// first, as the simulated slaves send it.
std::uint32_t registerValue(const std::vector<std::uint16_t>& registers);
// Registers as the log and the poll plan show them: "0x0000 0x04D2".
QString registerWords(const std::vector<std::uint16_t>& registers);

class FrameListener {
 public:
  explicit FrameListener(std::chrono::nanoseconds gap,
                         std::chrono::nanoseconds hold = FrameCutter::kHold);

  // `bytes` were read at `atNs` (monotonic) and `time`: the frames complete now.
  std::vector<TrafficEvent> read(QByteArrayView bytes, qint64 atNs, const QDateTime& time);
  // Nothing more was read up to `nowNs`: what waits is given up once held long enough.
  std::vector<TrafficEvent> idle(qint64 nowNs, const QDateTime& time);
  std::optional<qint64> deadline() const { return cutter_.deadline(); }

 private:
  std::vector<TrafficEvent> told(const std::vector<CutPart>& parts, const QDateTime& time);
  TrafficEvent frameEvent(QByteArray bytes, const QDateTime& time);
  static TrafficEvent noiseEvent(QByteArray bytes, const QDateTime& time);

  FrameCutter cutter_;
  std::optional<ReadRequest> pending_;  // the read request no reply has followed yet
};

}  // namespace vantor
