#include "serial/PollServer.h"

#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

namespace vantor {

PollServer::PollServer(SerialPort& port, ValueSource values, QObject* parent)
    : QObject(parent), port_(port), values_(std::move(values)) {
  connect(&port_, &SerialPort::received, this, &PollServer::onReceived);
  connect(&port_, &SerialPort::fragmentDropped, this, &PollServer::onFragment);
  clock_.start();
}

void PollServer::setFault(int slave, const Fault& fault) {
  faults_[std::size_t(slave - 1)] = fault;
  polls_[std::size_t(slave - 1)] = 0;
}

void PollServer::onReceived() {
  const qint64 readAt = clock_.nsecsElapsed();
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const QByteArray bytes = dropEcho(port_.input(), now);
  if (bytes.isEmpty()) return;
  Response response = respond(bytes, table_, values_());
  if (response.verdict == Verdict::Fragment) return logReceived(EventKind::Fragment, bytes, now);

  int delayMs = 0;
  if (response.verdict == Verdict::Answered) {
    const Fault& fault = faults_[std::size_t(response.slave - 1)];
    qint64& polls = polls_[std::size_t(response.slave - 1)];
    if (fault.active() && ++polls % std::max(fault.oneIn, 1) == 0) {
      applyFault(response, fault);
      delayMs = int(QRandomGenerator::global()->bounded(fault.delayMinMs, fault.delayMaxMs + 1));
    }
  }
  if (delayMs == 0 || response.reply.isEmpty()) return send(response, readAt, now, true);

  // A delayed reply waits on a timer of its own: the window, and any other slave's reply,
  // go on meanwhile, and a request that arrives in the meantime is judged as usual.
  const QString delayed = QStringLiteral("reply delayed by %1 ms").arg(delayMs);
  response.note =
      response.note.isEmpty() ? delayed : response.note + QStringLiteral(", ") + delayed;
  for (const TrafficEvent& event : eventsOf(response, now))
    if (event.direction == Direction::Rx) emit logged(event);
  QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [this, response, readAt] {
    if (port_.isOpen()) send(response, readAt, QDateTime::currentDateTimeUtc(), false);
  });
}

void PollServer::send(Response response, qint64 readAt, const QDateTime& time, bool logRequest) {
  // The answer goes out before anything is drawn or logged: the module is waiting for it.
  const WriteResult written = port_.write(response.reply);
  const qint64 writtenAt = clock_.nsecsElapsed();
  const QByteArray sent = response.reply.first(written.written);
  if (!sent.isEmpty()) echo_.expect(sent, clock_.elapsed());

  emit exchanged(response, sent, written);
  for (TrafficEvent& event : eventsOf(response, time)) {
    if (event.direction == Direction::Rx && !logRequest) continue;
    if (event.direction == Direction::Tx) {
      event.bytes = sent;
      if (!written.ok()) event.detail = written.message();
    }
    emit logged(event);
  }
  if (!sent.isEmpty()) {
    emit answeredIn(response.slave, double(writtenAt - readAt) / 1000.0);
    emit replied(response.slave);
  }
}

QByteArray PollServer::dropEcho(QByteArray bytes, const QDateTime& now) {
  const QByteArray echo = echo_.take(bytes, clock_.elapsed());
  if (!echo.isEmpty()) logReceived(EventKind::Echo, echo, now);
  return bytes;
}

void PollServer::onFragment(QByteArray bytes) {
  const QDateTime now = QDateTime::currentDateTimeUtc();
  bytes = dropEcho(std::move(bytes), now);
  if (!bytes.isEmpty()) logReceived(EventKind::Fragment, bytes, now);
}

void PollServer::logReceived(EventKind kind, const QByteArray& bytes, const QDateTime& now) {
  TrafficEvent event;
  event.time = now;
  event.direction = Direction::Rx;
  event.bytes = bytes;
  event.kind = kind;
  emit logged(event);
}

}  // namespace vantor
