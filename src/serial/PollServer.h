#pragma once

#include "core/monitor/EchoFilter.h"
#include "core/monitor/TrafficEvent.h"
#include "core/simulator/Faults.h"
#include "core/simulator/Responder.h"
#include "serial/SerialPort.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>

namespace vantor {

// Serves the simulated slaves on an open port: judges what the port reads, writes the reply
// before anything else happens, drops the echo of its own replies, and tells what happened.
// The main window and vantor-cli both serve through it and only show what it reports.
class PollServer : public QObject {
  Q_OBJECT

 public:
  // The values to answer with, asked for at each request.
  using ValueSource = std::function<ChosenValues()>;

  PollServer(SerialPort& port, ValueSource values, QObject* parent = nullptr);

  void setTable(const SlaveTable& table) { table_ = table; }
  const SlaveTable& table() const { return table_; }
  void setEchoFilter(bool on) { echo_.setEnabled(on); }
  // Faults start off; what is set stays until changed, across closing and opening the port.
  void setFault(int slave, const Fault& fault);
  const Fault& fault(int slave) const { return faults_[std::size_t(slave - 1)]; }

 signals:
  // A request was judged; `sent` is what of the reply the port took.
  void exchanged(const vantor::Response& response, const QByteArray& sent,
                 const vantor::WriteResult& written);
  // Every event, in order: requests, replies, fragments, echoes.
  void logged(const vantor::TrafficEvent& event);
  // From the request read to the reply written.
  void answeredIn(int slave, double microseconds);
  // Slave `slave` sent a reply (sweeps take their next step).
  void replied(int slave);

 private:
  void onReceived();
  void send(Response response, qint64 readAt, const QDateTime& requestTime, bool logRequest);
  void onFragment(QByteArray bytes);
  QByteArray dropEcho(QByteArray bytes, const QDateTime& now);
  void logReceived(EventKind kind, const QByteArray& bytes, const QDateTime& now);

  SerialPort& port_;
  ValueSource values_;
  SlaveTable table_{};
  EchoFilter echo_;
  QElapsedTimer clock_;
  Faults faults_{};
  std::array<qint64, kSlaveCount> polls_{};  // answered polls per slave, for "one in N"
};

}  // namespace vantor
