#pragma once

#include "core/simulator/Serving.h"
#include "serial/AnswerJob.h"

#include <QDateTime>

#include <atomic>
#include <memory>
#include <mutex>

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

// Answers as the simulated slaves: judges each request, applies faults and delays and writes
// the replies.
class ServeJob : public AnswerJob {
 public:
  explicit ServeJob(std::shared_ptr<ServePlanSlot> plan) : plan_(std::move(plan)) {}

 protected:
  void refresh() override;
  void answer(const QByteArray& request, qint64 readNs, const QDateTime& time) override;

 private:
  void send(const Decision& decision, qint64 readNs, const QDateTime& time, bool logRequest);

  std::shared_ptr<ServePlanSlot> plan_;
  quint64 planVersion_ = 0;
  ServingState state_;
};

}  // namespace vantor
