#include "core/listen/PollPlan.h"

#include "core/modbus/HexText.h"
#include "core/simulator/TypedValue.h"

#include <QStringList>

#include <algorithm>

namespace vantor {

namespace {

// Of an even count, the mean of the two middle samples.
qint64 median(std::vector<qint64> samples) {
  std::sort(samples.begin(), samples.end());
  const std::size_t n = samples.size();
  return n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

}  // namespace

QString lastReplyText(const PollPlanRow& row) {
  const QString registers = registerWords(row.lastRegisters);
  return row.lastValue.isEmpty() ? registers
                                 : QStringLiteral("%1 = %2").arg(registers, row.lastValue);
}

QString fieldNumbers(const PollPlanRow& row) {
  QStringList numbers;
  for (const int field : row.fields) numbers << QString::number(field);
  return numbers.join(QStringLiteral(", "));
}

void PollPlan::take(const TrafficEvent& e) {
  if (e.kind == EventKind::ConfigFrame) {
    if (const std::optional<ModuleConfig> heard = configOf(e.bytes)) fields_ = fieldPolls(*heard);
    return;
  }
  if (e.kind == EventKind::Request) {
    const auto poll = requestOf(e.bytes);
    if (!poll) return;
    if (outstanding_) ++entries_[*outstanding_].row.unanswered;
    Entry& entry = entries_[*poll];
    if (entry.row.polls > 0) byHeard_.erase(entry.heard);
    entry.heard = ++pollsHeard_;
    byHeard_.emplace(entry.heard, *poll);
    entry.row.poll = *poll;
    ++entry.row.polls;
    if (entry.lastPoll.isValid()) {
      const qint64 ms = entry.lastPoll.msecsTo(e.time);
      if (entry.intervals.size() < kIntervalSamples)
        entry.intervals.push_back(ms);
      else
        entry.intervals[entry.next] = ms;
      entry.next = (entry.next + 1) % kIntervalSamples;
    }
    entry.lastPoll = e.time;
    outstanding_ = poll;
    if (entries_.size() > kMostPolls) {
      entries_.erase(byHeard_.begin()->second);
      byHeard_.erase(byHeard_.begin());
      ++forgotten_;
    }
    return;
  }
  if ((e.kind != EventKind::Response && e.kind != EventKind::Exception) || !outstanding_ ||
      !answers(*outstanding_, e.bytes))
    return;  // a reply heard without its request is counted nowhere
  PollPlanRow& row = entries_[*outstanding_].row;
  if (e.kind == EventKind::Exception) {
    ++row.exceptions;
  } else {
    ++row.replies;
    row.lastRegisters = registersOf(e.bytes);
    row.lastValue.clear();
    const auto field = std::find_if(fields_.begin(), fields_.end(),
                                    [&](const FieldPoll& f) { return f.poll == row.poll; });
    if (field != fields_.end())
      row.lastValue = decodeTyped(registerValue(row.lastRegisters), field->format);
  }
  outstanding_.reset();
}

void PollPlan::clear() {
  entries_.clear();
  byHeard_.clear();
  forgotten_ = 0;
  outstanding_.reset();
}

std::vector<PollPlanRow> PollPlan::rows() const {
  std::vector<PollPlanRow> rows;
  for (const auto& [poll, entry] : entries_) {
    rows.push_back(entry.row);
    for (const FieldPoll& f : fields_)
      if (f.poll == poll) rows.back().fields.push_back(f.field);
    if (!entry.intervals.empty()) rows.back().medianIntervalMs = median(entry.intervals);
  }
  return rows;
}

QString PollPlan::text() const {
  const std::vector<PollPlanRow> all = rows();
  if (all.empty()) return QStringLiteral("No read request was heard.\n");
  const QString format = QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10\n");
  QString text = format.arg(u"slave", 5)
                     .arg(u"field", 5)
                     .arg(u"function", 8)
                     .arg(u"register", 8)
                     .arg(u"count", 5)
                     .arg(u"polls", 6)
                     .arg(u"interval", 9)
                     .arg(u"replies", 7)
                     .arg(u"exceptions", 10)
                     .arg(u"unanswered", 10);
  for (const PollPlanRow& r : all) {
    const QString last = lastReplyText(r);
    QString fields = fieldNumbers(r);
    text += format.arg(r.poll.slave, 5)
                .arg(fields.isEmpty() ? QStringLiteral("-") : fields.remove(u' '), 5)
                .arg(hexDigits(r.poll.function), 8)
                .arg(QStringLiteral("0x") + hexDigits(r.poll.start, 4), 8)
                .arg(r.poll.count, 5)
                .arg(r.polls, 6)
                .arg(r.medianIntervalMs ? QStringLiteral("%1 ms").arg(*r.medianIntervalMs)
                                        : QStringLiteral("-"),
                     9)
                .arg(r.replies, 7)
                .arg(r.exceptions, 10)
                .arg(r.unanswered, 10);
    if (!last.isEmpty()) text.insert(text.size() - 1, QStringLiteral("  last %1").arg(last));
  }
  if (forgotten_ > 0)
    text += QStringLiteral(
                "%1 other polls were heard longer ago and are forgotten: the plan keeps "
                "the %2 heard last.\n")
                .arg(forgotten_)
                .arg(kMostPolls);
  return text;
}

}  // namespace vantor
