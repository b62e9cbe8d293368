#pragma once

#include "core/modbus/RequestCutter.h"
#include "core/monitor/EchoFilter.h"
#include "core/simulator/Serving.h"
#include "serial/PortJob.h"

#include <QDateTime>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace vantor {

// The plan the slaves answer from, swapped in whole by the owner while the job runs.
class ServePlanSlot {
 public:
  explicit ServePlanSlot(std::shared_ptr<const ServePlan> plan);
  void set(std::shared_ptr<const ServePlan> plan);
  // The plan, when it changed since `seen` (which then moves on); nothing otherwise.
  std::shared_ptr<const ServePlan> takeNewer(quint64& seen);

 private:
  std::mutex mutex_;
  std::shared_ptr<const ServePlan> plan_;
  std::atomic<quint64> version_{1};
};

// Answers as the simulated slaves: cuts requests by the times their bytes were read, judges
// them, applies faults and delays on the thread's own clock and writes the replies.
class ServeJob : public PortJob {
 public:
  explicit ServeJob(std::shared_ptr<ServePlanSlot> plan) : plan_(std::move(plan)) {}
  void run(JobLine& line) override;

 private:
  struct Due {
    Decision decision;
    qint64 readNs;
    QDateTime time;
  };

  void takePlan();
  void take(QByteArray bytes, qint64 readNs);
  void judge(const CutPiece& piece, qint64 readNs, const QDateTime& time);
  void send(const Decision& decision, qint64 readNs, const QDateTime& time, bool logRequest);

  std::shared_ptr<ServePlanSlot> plan_;
  quint64 planVersion_ = 0;
  JobLine* line_ = nullptr;
  std::optional<RequestCutter> cutter_;
  ServingState state_;
  EchoFilter echo_;
  std::multimap<qint64, Due> delayed_;
};

}  // namespace vantor
