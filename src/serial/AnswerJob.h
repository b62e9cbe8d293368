#pragma once

#include "core/modbus/RequestCutter.h"
#include "core/monitor/EchoFilter.h"
#include "serial/PortJob.h"
#include "serial/SerialPort.h"

#include <QDateTime>

#include <functional>
#include <map>
#include <optional>

namespace vantor {

// What every job that answers as slaves shares: requests cut from the line by the times their
// bytes were read, the echo of our own replies taken off before they are cut, and replies that
// wait on the thread's own clock until they are due, while later requests are answered as they
// come. Whoever answers decides only what goes out for each request, and when.
class AnswerJob : public PortJob {
 public:
  void run(JobLine& line) final;

 protected:
  // Before each turn, and before bytes read are cut: what the answers come from may change.
  virtual void refresh() {}
  // `request` (8 bytes, their check value right or wrong) was read at `readNs` (`time` UTC).
  virtual void answer(const QByteArray& request, qint64 readNs, const QDateTime& time) = 0;

  // What of a reply went out, and when.
  struct Written {
    QByteArray sent;  // what of the reply the port took; empty when nothing was sent
    WriteResult result;
    qint64 atNs = 0;
  };
  // Writes `reply` now: the module is waiting for it.
  Written write(const QByteArray& reply);
  // Runs `send` once the thread's clock reaches `dueNs`, unless the job stops first: a reply not
  // yet due is never written then, the poll it answers is gone.
  void later(qint64 dueNs, std::function<void()> send);

  JobLine& line() { return *line_; }
  EchoFilter& echo() { return echo_; }

 private:
  void take(QByteArray bytes, qint64 readNs);
  void cut(const std::vector<CutPiece>& pieces, const QDateTime& time, qint64 readNs);

  JobLine* line_ = nullptr;
  std::optional<RequestCutter> cutter_;
  EchoFilter echo_;
  std::multimap<qint64, std::function<void()>> delayed_;
};

// A row of the bus monitor for bytes received.
TrafficEvent receivedEvent(EventKind kind, const QByteArray& bytes, const QDateTime& time);

}  // namespace vantor
