#include "core/poll/PollStats.h"

#include "core/simulator/TypedValue.h"

#include <QStringList>

#include <algorithm>

namespace vantor {

void PollStats::take(const PollResult& r) {
  if (r.field < 1 || r.field > kFieldCount) return;
  const std::size_t i = std::size_t(r.field - 1);
  FieldPollStats& f = fields_[i];
  ++f.polls;
  switch (r.outcome) {
    case PollOutcome::Value:
      ++f.replies;
      f.lastValue = r.raw;
      break;
    case PollOutcome::Exception:
      ++f.exceptions;
      break;
    case PollOutcome::CheckValueError:
      ++f.checkValueErrors;
      break;
    case PollOutcome::WrongReply:
      ++f.wrongReplies;
      break;
    case PollOutcome::Timeout:
      ++f.timeouts;
      break;
  }
  if (r.late) ++f.late;
  f.last = r;
  if (r.responseMs < 0) return;
  f.maxMs = std::max(f.maxMs, r.responseMs);
  std::vector<double>& samples = samples_[i];
  if (samples.size() < kSamples) {
    samples.push_back(r.responseMs);
  } else {
    samples[next_[i]] = r.responseMs;
    next_[i] = (next_[i] + 1) % kSamples;
  }
}

std::optional<double> PollStats::responseMs(int field, int percent) const {
  std::vector<double> samples = samples_[std::size_t(field - 1)];
  if (samples.empty()) return std::nullopt;
  const std::size_t k = std::min(samples.size() - 1, samples.size() * std::size_t(percent) / 100);
  std::nth_element(samples.begin(), samples.begin() + std::ptrdiff_t(k), samples.end());
  return samples[k];
}

FieldReading PollStats::reading(int field) const {
  const std::optional<PollResult>& last = this->field(field).last;
  if (!last) return {std::nullopt, QStringLiteral("not polled yet")};
  if (last->failed()) return {std::nullopt, last->text};
  return {last->raw, {}};
}

DisplayPreview PollStats::display(const ModulePolls& polls) const {
  if (polls.config1602) return previewDisplay(*polls.config1602, reading(1));
  std::array<FieldReading, kFieldCount> readings;
  for (int k = 0; k < kFieldCount; ++k) readings[std::size_t(k)] = reading(k + 1);
  return polls.config2004 ? previewDisplay(*polls.config2004, readings) : DisplayPreview{};
}

QString PollStats::summary(const ModulePolls& polls) const {
  QStringList lines;
  for (const PolledField& poll : polls.fields) {
    const FieldPollStats& f = field(poll.field);
    const TypedFormat format{poll.slave.dataType, poll.slave.decimals};
    QString line =
        QStringLiteral(
            "%1: %2 polls, %3 replies, %4 timeouts, %5 exceptions, %6 check-value errors, %7 "
            "wrong replies, %8 late; last value %9")
            .arg(pollText(poll))
            .arg(f.polls)
            .arg(f.replies)
            .arg(f.timeouts)
            .arg(f.exceptions)
            .arg(f.checkValueErrors)
            .arg(f.wrongReplies)
            .arg(f.late)
            .arg(f.lastValue ? decodeTyped(*f.lastValue, format) : QStringLiteral("none"));
    if (f.last && f.last->failed()) line += QStringLiteral(" (last poll: %1)").arg(f.last->text);
    if (const auto p50 = responseMs(poll.field, 50))
      line += QStringLiteral("; response p50 %1 ms, p99 %2 ms, max %3 ms")
                  .arg(*p50, 0, 'f', 1)
                  .arg(*responseMs(poll.field, 99), 0, 'f', 1)
                  .arg(f.maxMs, 0, 'f', 1);
    lines << line;
  }
  return lines.join(u'\n');
}

}  // namespace vantor
