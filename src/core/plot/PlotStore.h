#pragma once

// What the plots keep: per series its values as the module showed them, the polls that went
// unanswered, the intervals between its polls and its reply latencies, over the newest few
// minutes. Memory stays bounded whatever the rate of polls: samples of one line closer together
// than the resolution share a point, and what is older than the span goes.

#include "core/plot/PlotSample.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

namespace vantor {

// The samples of one line that fell within the resolution of each other: drawn as a line through
// `last`, and a bar from `low` to `high` where they differ.
struct PlotPoint {
  qint64 timeMs = 0;  // the first sample's
  double low = 0;
  double high = 0;
  double last = 0;
  bool joined = false;  // the line comes on from the point before (not across a pause)
};

// One quantity of a series over time.
class PlotLine {
 public:
  void add(qint64 timeMs, double value);
  // The next point starts a stretch of its own: a pause lies between.
  void breakHere() { broken_ = true; }
  // The stretch after a pause starts at `timeMs`: the point already taken there (a reply
  // reported before its poll) or else the next one.
  void breakAt(qint64 timeMs);
  void dropBefore(qint64 timeMs);
  const std::deque<PlotPoint>& points() const { return points_; }

 private:
  std::deque<PlotPoint> points_;
  bool broken_ = false;
};

// Polls that went unanswered within the resolution of the first of them.
struct PlotMark {
  qint64 timeMs = 0;
  int count = 0;
};

// A gap between two polls of a series that was no interval but a pause of the master (or of
// the line): from the poll before it to the poll after it.
struct PlotPause {
  qint64 fromMs = 0;
  qint64 toMs = 0;
};

struct PlotSeries {
  QString name;
  PlotLine values;  // as the module shows them, decimal places applied
  std::deque<PlotMark> unanswered;
  QString shown;                // the newest value as shown, or why none came
  bool lastUnanswered = false;  // the newest poll showed no value
  PlotLine intervals;           // milliseconds
  std::deque<PlotPause> pauses;
  PlotLine latencies;  // milliseconds
  int configuredMs = 0;
  double lastIntervalMs = -1;
  double lastLatencyMs = -1;
  qint64 lastPollMs = -1;

  // Unanswered polls within the span kept.
  qint64 unansweredCount() const;
  bool hasTrend() const { return !shown.isEmpty(); }
  bool hasTiming() const { return lastIntervalMs >= 0 || lastLatencyMs >= 0 || !pauses.empty(); }
};

class PlotStore {
 public:
  static constexpr qint64 kSpanMs = 5 * 60 * 1000;
  static constexpr qint64 kResolutionMs = 250;
  // Series beyond this many (a line full of polls of every address) are not kept.
  static constexpr int kMostSeries = 16;
  // An interval more than this share of the configured one is a late cycle.
  static constexpr double kLateShare = 1.2;

  void take(const PlotSample& sample);
  // Forgets everything; `names` are the series to come, in the order they are drawn in.
  void clear(const QStringList& names = {});
  // While paused nothing new is kept; polls are still timed, so that the first interval after
  // it is an interval and not the pause.
  void setPaused(bool paused);
  bool paused() const { return paused_; }

  const std::vector<PlotSeries>& series() const { return series_; }
  // The newest sample's time (0 before any): the plots end there.
  qint64 newestMs() const { return newestMs_; }
  // The oldest time kept anywhere (newestMs() before any).
  qint64 oldestMs() const;

 private:
  PlotSeries* seriesNamed(const QString& name);
  void timePoll(PlotSeries& s, const PlotSample& sample);
  void show(PlotSeries& s, const PlotSample& sample);
  void dropBefore(qint64 timeMs);

  std::vector<PlotSeries> series_;
  qint64 newestMs_ = 0;
  qint64 trimmedTo_ = 0;
  bool paused_ = false;
};

// Whether an interval of `ms` was late against the `configuredMs` one.
bool isLate(double ms, int configuredMs);

// The newest points of each series as text, one line per series, for whoever cannot see them:
// "slave 1 (field 1): 12.5; 3 polls unanswered" and "slave 1 (field 1): interval 503 ms
// (configured 500 ms), latency 0.21 ms".
QString describeTrend(const PlotStore& store);
QString describeTiming(const PlotStore& store);

}  // namespace vantor
