#include "serial/AnswerJob.h"

namespace vantor {

TrafficEvent receivedEvent(EventKind kind, const QByteArray& bytes, const QDateTime& time) {
  TrafficEvent e;
  e.time = time;
  e.direction = Direction::Rx;
  e.bytes = bytes;
  e.kind = kind;
  return e;
}

void AnswerJob::run(JobLine& line) {
  line_ = &line;
  cutter_.emplace(frameGap(line.settings()));
  while (!line.stopping()) {
    refresh();
    std::optional<qint64> due = cutter_->deadline();
    const auto dueAt = [&due](qint64 ns) { due = due ? std::min(*due, ns) : ns; };
    if (!delayed_.empty()) dueAt(delayed_.begin()->first);
    if (const auto held = echo_.deadline()) dueAt(*held * 1'000'000);

    const JobLine::Turn turn = line.wait(due);
    if (!turn.bytes.isEmpty()) take(turn.bytes, turn.readNs);
    if (turn.lost) return line.lose();
    if (!turn.input) {
      // Nothing came up to readNs: what waits may be due. (A thread that is slow to come
      // back here must not take its own delay for silence on the line.)
      const QDateTime now = QDateTime::currentDateTimeUtc();
      cut(cutter_->read(echo_.release(turn.readNs / 1'000'000), turn.readNs), now, turn.readNs);
      cut(cutter_->idle(turn.readNs), now, turn.readNs);
    }
    while (!delayed_.empty() && delayed_.begin()->first <= monotonicNs()) {
      const std::function<void()> send = std::move(delayed_.begin()->second);
      delayed_.erase(delayed_.begin());
      send();
    }
    line.publish();
  }
  delayed_.clear();
  line.drain();
}

void AnswerJob::take(QByteArray bytes, qint64 readNs) {
  refresh();  // a change applies from the next poll
  const QDateTime time = QDateTime::currentDateTimeUtc();
  const QByteArray echo = echo_.take(bytes, readNs / 1'000'000);
  if (!echo.isEmpty()) line_->post(receivedEvent(EventKind::Echo, echo, time));
  if (!bytes.isEmpty()) cut(cutter_->read(bytes, readNs), time, readNs);
}

void AnswerJob::cut(const std::vector<CutPiece>& pieces, const QDateTime& time, qint64 readNs) {
  for (const CutPiece& piece : pieces) {
    if (piece.request) {
      answer(piece.bytes, readNs, time);
      continue;
    }
    qCDebug(lcSerial) << "dropped:" << piece.bytes.toHex(' ');
    line_->post(receivedEvent(EventKind::Fragment, piece.bytes, time));
  }
}

AnswerJob::Written AnswerJob::write(const QByteArray& reply) {
  Written w;
  w.result = {0, reply.size(), {}};
  w.result.written = line_->write(reply, &w.result.error);
  w.atNs = monotonicNs();
  if (!reply.isEmpty())
    qCDebug(lcSerial) << "out:" << reply.toHex(' ') << qPrintable(w.result.error);
  w.sent = reply.first(w.result.written);
  if (!w.sent.isEmpty()) echo_.expect(w.sent, w.atNs / 1'000'000);
  return w;
}

void AnswerJob::later(qint64 dueNs, std::function<void()> send) {
  delayed_.emplace(dueNs, std::move(send));
}

}  // namespace vantor
