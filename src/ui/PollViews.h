#pragma once

// What the main window shows while it polls as the module: per active field, what its polls
// came to.

#include "core/poll/ModulePolls.h"
#include "core/poll/PollStats.h"

#include <QGroupBox>

class QTableWidget;

namespace vantor {

// One row per active field: slave, function, register, count, then polls, replies, timeouts,
// exceptions, check-value errors, wrong replies, late polls, the last value as the module
// shows it (and the last poll's failure), and the response time p50 / p99 / max in ms. It
// stays to be read once polling stops.
class PollFieldsBox : public QGroupBox {
  Q_OBJECT

 public:
  explicit PollFieldsBox(QWidget* parent);
  void start(std::shared_ptr<const ModulePolls> polls);
  void take(const PollResult& result);
  // Shows what was taken since the last time.
  void refresh();
  const PollStats& stats() const { return stats_; }

 private:
  std::shared_ptr<const ModulePolls> polls_;
  PollStats stats_;
  bool changed_ = false;
  QTableWidget* table_ = nullptr;
};

}  // namespace vantor
