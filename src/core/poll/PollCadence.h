#pragma once

// When Vantor, standing in for the module, sends each request: its reading of how a module
// paces its polls (a module's firmware may space them otherwise).
//
// - A cycle polls every active field once, in field order; a cycle is due every interval.
// - Within a cycle, each request waits for the reply to the one before it, or for that one's
//   timeout, and then for the line's frame gap.
// - A poll is late when the line is free for the next request only after its cycle's interval
//   has run out; a cycle is late when its last poll is. The next cycle then starts at once
//   (after the gap) and its interval counts from there: missed cycles are not made up.
// - A cycle due at a time and sent later (the thread was slow to wake) does not move the
//   cycles after it.
//
// Pure rules over monotonic times in nanoseconds: whoever keeps the clock says when a request
// went and when its reply came, and asks when the next may go.

#include <QtGlobal>

#include <chrono>

namespace vantor {

struct CadenceTiming {
  std::chrono::nanoseconds interval;
  std::chrono::nanoseconds timeout;  // counted from the request handed to the line
  std::chrono::nanoseconds gap;      // the line's frame gap
};

class PollCadence {
 public:
  PollCadence(int fields, CadenceTiming timing);

  // Polling starts at `nowNs`: the first cycle is due at once.
  void begin(qint64 nowNs);

  // The field (0-based, in the order given) whose request goes next, and the earliest time it
  // may go; meaningful while no request waits.
  int nextField() const { return field_; }
  qint64 nextAt() const { return nextAt_; }
  // Whether the next request starts a cycle, and when that cycle was due.
  bool startsCycle() const { return field_ == 0; }
  qint64 cycleDue() const { return due_; }

  // The next request went to the line at `atNs`.
  void sent(qint64 atNs);
  bool waiting() const { return waiting_; }
  // When the request that waits times out.
  qint64 timeoutAt() const { return sentAt_ + timing_.timeout.count(); }
  // The request that waits was answered (its reply's last byte read at `atNs`) or gave up
  // (`atNs` = timeoutAt()). Whether that poll was late.
  bool ended(qint64 atNs);

  // Cycles begun, and those that were late.
  qint64 cycles() const { return cycles_; }
  qint64 lateCycles() const { return lateCycles_; }

 private:
  int fields_;
  CadenceTiming timing_;
  int field_ = 0;
  qint64 due_ = 0;     // when the current cycle was due
  qint64 nextAt_ = 0;  // when the next request may go
  qint64 sentAt_ = 0;
  bool waiting_ = false;
  qint64 cycles_ = 0;
  qint64 lateCycles_ = 0;
};

}  // namespace vantor
