#pragma once

#include "core/modbus/FrameCutter.h"
#include "core/monitor/EchoFilter.h"
#include "serial/PortJob.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace vantor {

// What every job that polls as a master shares: each request sent at the moment it is due on
// the thread's own clock, what comes back cut with the frame cutter (replyFit) once the echo of
// the request is taken off, the first frame after a request taken as its reply (bytes that are
// no frame only when no frame follows them), and the wait ended at its deadline with whatever
// came by then. Bytes that come while no request waits are logged as stray. Whoever polls
// decides only what to send, when, how long to wait, and what the reply means.
class MasterJob : public PortJob {
 public:
  void run(JobLine& line) final;

 protected:
  // The clock starts: `nowNs`.
  virtual void begin(qint64 nowNs) = 0;
  // When the next request goes; nothing while none is to go. Asked only while none waits.
  virtual std::optional<qint64> nextAt() const = 0;
  // The request to send now.
  virtual QByteArray request() const = 0;
  // It was handed to the line at `sentNs`; `error` says why not, when it was not.
  virtual void sent(qint64 sentNs, const QString& error) = 0;
  // Until when the request sent waits for its reply; nothing while none waits.
  virtual std::optional<qint64> waitingUntil() const = 0;
  // What came for the request that waits, its last byte read at `atNs`: a frame, bytes that
  // are none, or nothing (empty) by the wait's deadline. The wait is over.
  virtual void replied(const QByteArray& reply, qint64 atNs) = 0;
  // There is nothing more to do: the job ends.
  virtual bool finished() const { return false; }

  JobLine& line() { return *line_; }
  qint64 sentNs() const { return sentNs_; }

 private:
  std::optional<qint64> due() const;
  void send();
  void take(const std::vector<CutPart>& parts);

  JobLine* line_ = nullptr;
  std::optional<FrameCutter> cutter_;
  EchoFilter echo_;
  qint64 sentNs_ = 0;      // the request that waits went to the line
  qint64 lastReadNs_ = 0;  // the last bytes were read: the end of whatever is cut from them
};

}  // namespace vantor
