#include "core/plot/PlotStore.h"

#include "core/monitor/BusCounters.h"

#include <algorithm>

namespace vantor {

void PlotLine::add(qint64 timeMs, double value) {
  // A sample that comes no later than the resolution after the last point joins it, even one a
  // little older (a delayed reply reported after a later poll): the count of points is bounded
  // by the span over the resolution, whatever the rate of polls.
  if (!points_.empty() && !broken_ && timeMs - points_.back().timeMs < PlotStore::kResolutionMs) {
    PlotPoint& p = points_.back();
    p.low = std::min(p.low, value);
    p.high = std::max(p.high, value);
    p.last = value;
    return;
  }
  points_.push_back({timeMs, value, value, value, !points_.empty() && !broken_});
  broken_ = false;
}

void PlotLine::breakAt(qint64 timeMs) {
  auto first = points_.end();
  for (auto p = points_.begin(); p != points_.end(); ++p)
    if (p->timeMs >= timeMs) {
      first = p;
      break;
    }
  if (first == points_.end())
    broken_ = true;
  else
    first->joined = false;
}

void PlotLine::dropBefore(qint64 timeMs) {
  while (!points_.empty() && points_.front().timeMs < timeMs) points_.pop_front();
  if (!points_.empty()) points_.front().joined = false;
}

qint64 PlotSeries::unansweredCount() const {
  qint64 n = 0;
  for (const PlotMark& m : unanswered) n += m.count;
  return n;
}

bool isLate(double ms, int configuredMs) {
  return configuredMs > 0 && ms > PlotStore::kLateShare * configuredMs;
}

void PlotStore::clear(const QStringList& names) {
  series_.clear();
  for (const QString& name : names) series_.emplace_back().name = name;
  newestMs_ = 0;
  trimmedTo_ = 0;
}

void PlotStore::setPaused(bool paused) {
  if (paused == paused_) return;
  paused_ = paused;
  // What comes after the pause is not drawn joined to what came before it.
  if (!paused)
    for (PlotSeries& s : series_) {
      s.values.breakHere();
      s.intervals.breakHere();
      s.latencies.breakHere();
    }
}

PlotSeries* PlotStore::seriesNamed(const QString& name) {
  for (PlotSeries& s : series_)
    if (s.name == name) return &s;
  if (int(series_.size()) >= kMostSeries) return nullptr;
  series_.emplace_back().name = name;
  return &series_.back();
}

void PlotStore::take(const PlotSample& sample) {
  PlotSeries* s = seriesNamed(sample.series);
  if (!s) return;
  if (sample.poll) timePoll(*s, sample);
  if (paused_) return;
  show(*s, sample);
  if (sample.latencyMs >= 0) {
    s->latencies.add(sample.timeMs, sample.latencyMs);
    s->lastLatencyMs = sample.latencyMs;
  }
  newestMs_ = std::max(newestMs_, sample.timeMs);
  // Trimmed a resolution's worth at a time: a sample costs no scan of what is kept.
  if (newestMs_ - kSpanMs - trimmedTo_ >= kResolutionMs) dropBefore(newestMs_ - kSpanMs);
}

// The module's rhythm: the time between two polls of the series. A gap of many configured
// intervals is a pause of the master, not an interval: the lines break across it.
void PlotStore::timePoll(PlotSeries& s, const PlotSample& sample) {
  const qint64 previous = s.lastPollMs;
  s.lastPollMs = std::max(previous, sample.timeMs);
  s.configuredMs = sample.configuredMs;
  if (paused_ || previous < 0 || sample.timeMs < previous) return;
  const double ms = double(sample.timeMs - previous);
  if (sample.configuredMs > 0 && ms > double(BusCounters::kPauseIntervals) * sample.configuredMs) {
    s.pauses.push_back({previous, sample.timeMs});
    s.values.breakAt(sample.timeMs);
    s.intervals.breakAt(sample.timeMs);
    s.latencies.breakAt(sample.timeMs);
    return;
  }
  s.intervals.add(sample.timeMs, ms);
  s.lastIntervalMs = ms;
}

void PlotStore::show(PlotSeries& s, const PlotSample& sample) {
  switch (sample.shown) {
    case PlotSample::Shown::Nothing:
      return;
    case PlotSample::Shown::Value:
      if (sample.value) s.values.add(sample.timeMs, *sample.value);
      s.lastUnanswered = false;
      break;
    case PlotSample::Shown::Unanswered:
      if (!s.unanswered.empty() && sample.timeMs - s.unanswered.back().timeMs < kResolutionMs)
        ++s.unanswered.back().count;
      else
        s.unanswered.push_back({sample.timeMs, 1});
      s.lastUnanswered = true;
      break;
  }
  s.shown = sample.text;
}

void PlotStore::dropBefore(qint64 timeMs) {
  for (PlotSeries& s : series_) {
    s.values.dropBefore(timeMs);
    s.intervals.dropBefore(timeMs);
    s.latencies.dropBefore(timeMs);
    while (!s.unanswered.empty() && s.unanswered.front().timeMs < timeMs) s.unanswered.pop_front();
    while (!s.pauses.empty() && s.pauses.front().toMs < timeMs) s.pauses.pop_front();
  }
  trimmedTo_ = timeMs;
}

qint64 PlotStore::oldestMs() const {
  qint64 oldest = newestMs_;
  for (const PlotSeries& s : series_) {
    for (const PlotLine* line : {&s.values, &s.intervals, &s.latencies})
      if (!line->points().empty()) oldest = std::min(oldest, line->points().front().timeMs);
    if (!s.unanswered.empty()) oldest = std::min(oldest, s.unanswered.front().timeMs);
    if (!s.pauses.empty()) oldest = std::min(oldest, s.pauses.front().fromMs);
  }
  return std::max(oldest, newestMs_ - kSpanMs);
}

namespace {

QString milliseconds(double ms) {
  return QStringLiteral("%1 ms").arg(ms, 0, 'f', ms < 10 ? 2 : ms < 100 ? 1 : 0);
}

QString polls(qint64 n, const char* what) {
  return n == 1 ? QStringLiteral("1 poll %1").arg(QLatin1String(what))
                : QStringLiteral("%1 polls %2").arg(n).arg(QLatin1String(what));
}

}  // namespace

QString describeTrend(const PlotStore& store) {
  QStringList lines;
  for (const PlotSeries& s : store.series()) {
    if (!s.hasTrend()) continue;
    QString line = s.name + QStringLiteral(": ") +
                   (s.lastUnanswered ? QStringLiteral("no value (%1)").arg(s.shown) : s.shown);
    if (const qint64 n = s.unansweredCount()) line += QStringLiteral("; ") + polls(n, "unanswered");
    lines << line;
  }
  return lines.join(u'\n');
}

QString describeTiming(const PlotStore& store) {
  QStringList lines;
  for (const PlotSeries& s : store.series()) {
    if (!s.hasTiming()) continue;
    QStringList parts;
    if (s.lastIntervalMs >= 0) {
      // Polls are timed to the millisecond.
      QString interval = QStringLiteral("interval %1 ms").arg(s.lastIntervalMs, 0, 'f', 0);
      if (s.configuredMs > 0) interval += QStringLiteral(" (configured %1 ms)").arg(s.configuredMs);
      if (isLate(s.lastIntervalMs, s.configuredMs)) interval += QStringLiteral(", late");
      parts << interval;
    }
    if (s.lastLatencyMs >= 0) parts << QStringLiteral("latency ") + milliseconds(s.lastLatencyMs);
    if (!s.pauses.empty())
      parts << (s.pauses.size() == 1 ? QStringLiteral("1 pause")
                                     : QStringLiteral("%1 pauses").arg(s.pauses.size()));
    lines << s.name + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
  }
  return lines.join(u'\n');
}

}  // namespace vantor
