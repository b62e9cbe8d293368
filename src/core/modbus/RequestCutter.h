#pragma once

// Cuts what a serving line reads into the read requests the simulated slaves judge.
//
// On an RTU line a frame ends where the line falls silent for the frame gap (Modbus over
// serial line, 2.5.1.1). The cut is made on the times the bytes were read, taken by the
// thread that reads them, never on when a timer fires: bytes read more than the gap apart are
// two frames, bytes read within it one. The reading thread can itself be late, and then it
// reads at once what arrived apart, or reads the end of a request after the gap; the check
// value settles those cases:
// - a request (8 bytes whose check value holds) is judged as soon as its last byte is in,
//   wherever it starts among what was read together; what came before it is a fragment;
// - bytes read after the gap that complete a request begun before it are that request's end;
//   so that a late sender or a late reader can still join them, what waits without being a
//   request is held a while longer than the gap before it is given up.
// What is given up is judged on its first 8 bytes (a request with a wrong check value), and
// what follows them is a fragment.

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
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
  // Bytes that wait this long without a request among them are no request's.
  static constexpr qsizetype kMaxWaiting = 256;

  // How long bytes that are no request wait for the rest of one, at least.
  static constexpr std::chrono::milliseconds kHold{100};

  explicit RequestCutter(std::chrono::nanoseconds gap,
                         std::chrono::nanoseconds hold = std::chrono::nanoseconds(kHold))
      : gapNs_(gap.count()), holdNs_(std::max(gap, hold).count()) {}

  // `bytes` were read at `atNs` (a monotonic clock): the pieces that are complete now.
  std::vector<CutPiece> read(QByteArrayView bytes, qint64 atNs);
  // Nothing more was read up to `nowNs`: what waits is given up once held long enough.
  std::vector<CutPiece> idle(qint64 nowNs);
  // When idle() has something to complete; nothing while no byte waits.
  std::optional<qint64> deadline() const;
  // Drops what waits (the port was closed).
  void clear() { waiting_.clear(); }

 private:
  void cut(std::vector<CutPiece>& out, bool final);

  qint64 gapNs_;
  qint64 holdNs_;
  QByteArray waiting_;
  qint64 lastReadNs_ = 0;
};

// Whether `bytes` starting at `offset` hold a read request whose check value holds.
bool holdsRequestAt(QByteArrayView bytes, qsizetype offset);

}  // namespace vantor
