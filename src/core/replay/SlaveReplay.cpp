#include "core/replay/SlaveReplay.h"

#include "core/modbus/HexText.h"

namespace vantor {

SlaveReplay::SlaveReplay(const Recording& recording, const ReplayPace& pace, bool loop)
    : loop_(loop) {
  for (const RecordedExchange& x : recording.exchanges)
    recorded_[x.request].push_back({x.reply, pace.played(x.delayMs, x.bytesInDelay), x.line});
}

SlaveAnswer SlaveReplay::answer(QByteArrayView request) {
  const QByteArray key = request.toByteArray();
  const auto found = recorded_.constFind(key);
  SlaveAnswer a;
  if (found == recorded_.cend()) {
    a.reason = QStringLiteral("not answered: the recording never heard %1").arg(hexText(request));
    return a;
  }
  const std::vector<Occurrence>& occurrences = *found;
  const int count = int(occurrences.size());
  const int n = ++arrived_[key];  // this arrival, from 1
  const int index = n <= count ? n - 1 : loop_ ? (n - 1) % count : count - 1;
  const Occurrence& o = occurrences[std::size_t(index)];
  a.reply = o.reply;
  a.delay = o.delay;
  a.occurrence = index + 1;
  a.occurrences = count;
  a.line = o.line;
  if (!a.reply)
    a.reason = QStringLiteral("not answered, as on line %1 of the recording").arg(o.line);
  return a;
}

}  // namespace vantor
