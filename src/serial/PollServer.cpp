#include "serial/PollServer.h"

namespace vantor {

PollServer::PollServer(SerialPort& port, ValueSource values, QObject* parent)
    : QObject(parent), port_(port), values_(std::move(values)) {
  connect(&port_, &SerialPort::received, this, &PollServer::onReceived);
  connect(&port_, &SerialPort::fragmentDropped, this, &PollServer::onFragment);
  clock_.start();
}

void PollServer::onReceived() {
  const qint64 readAt = clock_.nsecsElapsed();
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const QByteArray bytes = dropEcho(port_.input(), now);
  if (bytes.isEmpty()) return;
  const Response response = respond(bytes, table_, values_());
  if (response.verdict == Verdict::Fragment) return logReceived(EventKind::Fragment, bytes, now);

  // The answer goes out before anything is drawn or logged: the module is waiting for it.
  const WriteResult written = port_.write(response.reply);
  const qint64 writtenAt = clock_.nsecsElapsed();
  const QByteArray sent = response.reply.first(written.written);
  if (!sent.isEmpty()) echo_.expect(sent, clock_.elapsed());

  emit exchanged(response, sent, written);
  for (TrafficEvent& event : eventsOf(response, now)) {
    if (event.direction == Direction::Tx) {
      event.bytes = sent;
      if (!written.ok()) event.detail = written.message();
    }
    emit logged(event);
  }
  if (!sent.isEmpty()) emit answeredIn(response.slave, double(writtenAt - readAt) / 1000.0);
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
