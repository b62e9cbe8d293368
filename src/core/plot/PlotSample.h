#pragma once

// What the plots are given: one thing a port's job saw of one series (a field served, a poll
// heard, a field polled). Whatever the job, it says when a poll was made, what the module showed
// of it and how long its reply took; the plots work out the rest.

#include "core/simulator/SlaveTable.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace vantor {

struct TrafficEvent;

struct PlotSample {
  QString series;     // who: "slave 3 (field 2)", a poll heard
  qint64 timeMs = 0;  // when: milliseconds since the epoch, UTC
  // A poll of the series was read or sent at timeMs: the time since its previous poll is an
  // interval, timed against `configuredMs` (0: none configured).
  bool poll = false;
  int configuredMs = 0;
  // What the module showed of a poll: a value (`value` when it is a number, `text` as shown),
  // or that none came (`text` says why).
  enum class Shown { Nothing, Value, Unanswered };
  Shown shown = Shown::Nothing;
  std::optional<double> value;
  QString text;
  double latencyMs = -1;  // from the poll to its reply; -1 without one
};

// While serving: the poll a logged request was, for the simulated slave it concerned; nothing
// for anything else (a reply, noise, a poll of an address nobody simulates).
std::optional<PlotSample> servedPoll(const SlaveTable& table, const TrafficEvent& event);

// While serving: what the module showed of a poll of `slave` (1..4) read at `time`: `raw` read
// through the slave's type and decimal places, or no value because of `why`; `latencyUs` from
// the request to the reply written (negative: none was).
PlotSample servedValue(const SlaveTable& table, int slave, const QDateTime& time,
                       const std::optional<std::uint32_t>& raw, const QString& why,
                       double latencyUs);

// The name of a simulated slave's series: "slave 3 (field 2)".
QString servedSeries(const SlaveTable& table, int slave);
// The series of the enabled slaves, in the order of their fields.
QStringList fieldSeries(const SlaveTable& table);

}  // namespace vantor
