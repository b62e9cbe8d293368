#pragma once

// Polling as a recording's master did: its requests sent with the recorded spacing, as the
// pace plays it, and each reply that comes compared with the one recorded.

#include "core/replay/Recording.h"
#include "core/simulator/SlaveTable.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <chrono>
#include <optional>
#include <vector>

namespace vantor {

// When each of the recording's requests is sent, counted from the first one: element i for
// exchange i.
std::vector<std::chrono::nanoseconds> masterSchedule(const Recording& recording,
                                                     const ReplayPace& pace);

enum class ReplyOutcome {
  Matched,          // the same bytes, or no reply where none was recorded
  OtherBytes,       // a reply, and one was recorded, but the bytes differ
  NoReply,          // nothing came where a reply was recorded
  UnexpectedReply,  // a reply came where the recording had none
};
inline constexpr int kReplyOutcomeCount = 4;

struct ReplyComparison {
  ReplyOutcome outcome = ReplyOutcome::Matched;
  // The difference in one line: the request by its line in the recording, its bytes and the
  // field it polls, then what differs, with the values read as the display reads them where a
  // field polls as the request does: "line 12, 01 03 00 10 00 01 85 CF, slave 1 (field 2):
  // other bytes: recorded 01 03 02 04 D2 3B 19 = 123.4, now 01 03 02 04 D3 FA D9 = 123.5".
  // Empty when matched.
  QString difference;
};

// `reply` (nothing: none came before the next request was due, or the timeout) to the request
// of `recorded`, compared with the recorded reply. `fields`: a saved configuration's slaves,
// field k as element k-1; only enabled ones decode a value.
ReplyComparison compareReply(const RecordedExchange& recorded,
                             const std::optional<QByteArray>& reply, const SlaveTable& fields);

// The field whose poll `request` is (address, function, start register and register count all
// its own), 1 to 4, among the enabled ones of `fields`; 0 for none.
int polledField(QByteArrayView request, const SlaveTable& fields);

// How a replay as the master went, reply by reply.
class ReplayTally {
 public:
  void count(ReplyOutcome outcome) { ++counts_[std::size_t(outcome)]; }
  int counted(ReplyOutcome outcome) const { return counts_[std::size_t(outcome)]; }
  // "12 replies compared: 9 matched, 1 with other bytes, 1 missing, 1 where none was recorded".
  QString summary() const;
  // What vantor-cli exits with: 0 when every reply matched, 2 when any differed.
  int exitStatus() const;

 private:
  std::array<int, kReplyOutcomeCount> counts_{};
};

}  // namespace vantor
