#include "serial/ListenJob.h"

#include "core/listen/HeardFrames.h"

#include <QDateTime>

namespace vantor {

void ListenJob::run(JobLine& line) {
  FrameListener listener(frameGap(line.settings()));
  const auto heard = [&line](std::vector<TrafficEvent> frames) {
    for (TrafficEvent& e : frames) line.post(std::move(e));
  };
  while (!line.stopping()) {
    const JobLine::Turn turn = line.wait(listener.deadline());
    if (!turn.bytes.isEmpty())
      heard(listener.read(turn.bytes, turn.readNs, QDateTime::currentDateTimeUtc()));
    if (turn.lost) return line.lose();
    if (!turn.input) heard(listener.idle(turn.readNs, QDateTime::currentDateTimeUtc()));
    line.publish();
  }
}

}  // namespace vantor
