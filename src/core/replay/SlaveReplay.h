#pragma once

// Answering as a recording's slaves did: a request that arrives is matched by its bytes with
// the recorded requests, and its n-th arrival gets what the n-th recorded occurrence got, after
// the recorded delay as the pace plays it. Past the last occurrence, a looping replay starts
// over for that request; otherwise the last answer is repeated. A request the recording never
// heard gets nothing.

#include "core/replay/Recording.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <chrono>
#include <optional>
#include <vector>

namespace vantor {

struct SlaveAnswer {
  std::optional<QByteArray> reply;  // the bytes to send as recorded; nothing: stay silent
  // From the request's last byte read to the reply's first written.
  std::chrono::nanoseconds delay{0};
  int occurrence = 0;   // the recorded occurrence that answers, from 1; 0 for a request never heard
  int occurrences = 0;  // how many of the request the recording holds
  qsizetype line = 0;   // that occurrence's line in the recording
  // Why nothing is sent, for the log ("not answered, as on line 42 of the recording"); empty
  // with a reply.
  QString reason;
};

class SlaveReplay {
 public:
  SlaveReplay(const Recording& recording, const ReplayPace& pace, bool loop);

  // `request` (a frame as cut from the line) arrived once more: what it gets.
  SlaveAnswer answer(QByteArrayView request);

 private:
  struct Occurrence {
    std::optional<QByteArray> reply;
    std::chrono::nanoseconds delay;
    qsizetype line;
  };
  QHash<QByteArray, std::vector<Occurrence>> recorded_;
  QHash<QByteArray, int> arrived_;
  bool loop_;
};

}  // namespace vantor
