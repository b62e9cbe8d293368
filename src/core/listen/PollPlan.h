#pragma once

// What a master asks of the line, summed up from what a listener heard: per slave address,
// function code, start register and register count, how often it is polled, what comes back,
// and which field of the module's configuration it is. A module's configuration can be read
// off from it.

#include "core/listen/HeardDisplay.h"
#include "core/listen/HeardFrames.h"
#include "core/monitor/TrafficEvent.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace vantor {

struct PollPlanRow {
  ReadRequest poll;
  // The fields of the configuration drawn whose poll this is exactly (1-based); none for a
  // poll no active field makes.
  std::vector<int> fields;
  qint64 polls = 0;
  std::optional<qint64> medianIntervalMs;  // between polls of this kind
  qint64 replies = 0;
  std::vector<std::uint16_t> lastRegisters;  // of the last reply
  // The last reply's value as the module shows it, when a field of the configuration drawn
  // makes this very poll (its data type and decimal places); empty otherwise.
  QString lastValue;
  qint64 exceptions = 0;
  // Polls that the next request followed without a reply (the last poll heard is not counted:
  // its reply may still have been on the way).
  qint64 unanswered = 0;
};

class PollPlan {
 public:
  // Interval samples kept per poll, the newest.
  static constexpr std::size_t kIntervalSamples = 101;
  // Distinct polls kept: those heard last. A master polls a handful; a line of noise or a
  // scanning master would otherwise grow the plan for as long as it is heard.
  static constexpr std::size_t kMostPolls = 1000;

  // `configured` names the fields of the polls it makes, until a configuration frame heard
  // replaces it (as it does the display's).
  explicit PollPlan(const ModuleConfig& configured = {}) : fields_(fieldPolls(configured)) {}

  // Takes what was heard, in order; anything but requests, responses, exceptions and
  // configuration frames is passed over.
  void take(const TrafficEvent& event);
  void clear();

  // By slave address, then function, start register and register count.
  std::vector<PollPlanRow> rows() const;
  // The rows as a table of text, one line each under a heading line, then how many polls were
  // forgotten, if any.
  QString text() const;
  // Distinct polls dropped to keep kMostPolls, those heard longest ago first.
  qint64 forgotten() const { return forgotten_; }

 private:
  struct Entry {
    PollPlanRow row;
    QDateTime lastPoll;
    std::vector<qint64> intervals;  // a ring of the newest
    std::size_t next = 0;
    qint64 heard = 0;  // when last heard, in polls since the start
  };

  std::vector<FieldPoll> fields_;
  std::map<ReadRequest, Entry> entries_;
  std::map<qint64, ReadRequest> byHeard_;  // the entries, heard longest ago first
  qint64 pollsHeard_ = 0;
  qint64 forgotten_ = 0;
  std::optional<ReadRequest> outstanding_;  // the last poll, while no reply followed it
};

// The last reply as the plan shows it: its registers, and the value where one is known
// ("0x04D2 = 1234"); empty before a reply.
QString lastReplyText(const PollPlanRow& row);

// The fields a row's poll belongs to: "2", "1, 3"; empty for none.
QString fieldNumbers(const PollPlanRow& row);

}  // namespace vantor
