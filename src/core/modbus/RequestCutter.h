#pragma once

// Cuts what a serving line reads into the read requests the simulated slaves judge: the frame
// cutter's timing rules (FrameCutter.h), with a request (8 bytes whose check value holds) as
// the only frame. A request is judged as soon as its last byte is in, wherever it starts among
// what waits; bytes that are no request are judged when given up: their first 8 bytes as a
// request whose check value is wrong, what follows them (or fewer) as a fragment.

#include "core/modbus/FrameCutter.h"

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <optional>
#include <vector>

namespace vantor {

struct CutPiece {
  QByteArray bytes;
  bool request = false;  // 8 bytes to judge; otherwise fewer, a fragment
  friend bool operator==(const CutPiece&, const CutPiece&) = default;
};

class RequestCutter {
 public:
  explicit RequestCutter(std::chrono::nanoseconds gap,
                         std::chrono::nanoseconds hold = FrameCutter::kHold);

  // `bytes` were read at `atNs` (a monotonic clock): the pieces that are complete now.
  std::vector<CutPiece> read(QByteArrayView bytes, qint64 atNs);
  // Nothing more was read up to `nowNs`: what waits is given up once held long enough.
  std::vector<CutPiece> idle(qint64 nowNs);
  // When idle() has something to complete; nothing while no byte waits.
  std::optional<qint64> deadline() const { return cutter_.deadline(); }
  // Drops what waits (the port was closed).
  void clear() { cutter_.clear(); }

 private:
  FrameCutter cutter_;
};

// Whether `bytes` starting at `offset` hold a read request whose check value holds.
bool holdsRequestAt(QByteArrayView bytes, qsizetype offset);

}  // namespace vantor
