// The listener fed arbitrary bytes in pieces and at times the input chooses, with the timer
// that calls idle() firing whenever it likes after its deadline (a busy machine):
// - every byte comes out exactly once and in order;
// - every event is what its bytes are: a request, response, exception reply or configuration
//   frame whose check holds, a CRC error of 5 bytes or more, a fragment of fewer;
// - no event given up as noise holds a whole request whose check value holds;
// - back-to-back requests (an input whose first byte is odd), however they are split across
//   reads no further apart than the hold, all come out as those requests. Their function
//   codes are no read and have no exception bit, so that no reply can start where one does.

#include "Require.h"

#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/listen/HeardFrames.h"
#include "core/modbus/Crc16.h"
#include "core/modbus/FrameCutter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace vantor;
using fuzz::require;

namespace {

constexpr qint64 kGapNs = 1'750'000;
constexpr qint64 kHoldNs = std::chrono::nanoseconds(FrameCutter::kHold).count();

bool checkHolds(const QByteArray& frame) {
  return frame.size() > 2 && withCheckValue(frame.first(frame.size() - 2)) == frame;
}

// Told by the check value itself, not by the code under test.
bool isRequest(QByteArrayView bytes) {
  return bytes.size() == 8 && withCheckValue(bytes.first(6)) == bytes;
}

bool holdsRequestAnywhere(const QByteArray& bytes) {
  for (qsizetype i = 0; i + 8 <= bytes.size(); ++i)
    if (isRequest(QByteArrayView(bytes).sliced(i, 8))) return true;
  return false;
}

bool isWhatItSays(const TrafficEvent& e) {
  const QByteArray& b = e.bytes;
  const auto at = [&b](qsizetype i) { return std::uint8_t(b[i]); };
  switch (e.kind) {
    case EventKind::Request:
      return isRequest(b);
    case EventKind::Response:
      return b.size() >= 7 && (at(1) == 3 || at(1) == 4) && at(2) == b.size() - 5 &&
             at(2) % 2 == 0 && checkHolds(b);
    case EventKind::Exception:
      return b.size() == 5 && (at(1) & 0x80) && checkHolds(b);
    case EventKind::ConfigFrame:
      return (b.size() == frame1602::kSize &&
              frameFault(byteSpan(b), frame1602::kShape).isEmpty()) ||
             (b.size() == frame2004::kSize && frameFault(byteSpan(b), frame2004::kShape).isEmpty());
    case EventKind::CrcError:
      return b.size() >= 5 && !holdsRequestAnywhere(b);
    case EventKind::Fragment:
      return !b.isEmpty() && b.size() < 5;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool backToBack = in.ConsumeIntegral<std::uint8_t>() & 1;
  QByteArray line;
  std::vector<QByteArray> sent;
  if (backToBack) {
    for (int n = in.ConsumeIntegralInRange(0, 128); n > 0; --n) {
      QByteArray body =
          QByteArray::fromStdString(in.ConsumeBytesAsString(6)).leftJustified(6, '\0');
      body[1] = char((body[1] & 0x7F) | 0x10);
      sent.push_back(withCheckValue(body));
      line += sent.back();
    }
  } else {
    line = QByteArray::fromStdString(in.ConsumeBytesAsString(in.ConsumeIntegralInRange(0, 2048)));
  }
  FrameListener listener{std::chrono::nanoseconds(kGapNs)};
  const QDateTime time;  // what events carry is no business of the cut
  std::vector<TrafficEvent> out;
  const auto take = [&out](std::vector<TrafficEvent> events) {
    out.insert(out.end(), events.begin(), events.end());
  };
  qint64 now = 1'000'000'000;
  for (qsizetype at = 0; at < line.size();) {
    // What the input does not split is read at once.
    const qsizetype piece = std::min<qsizetype>(
        line.size() - at, in.remaining_bytes() ? in.ConsumeIntegralInRange(1, 600) : line.size());
    // 0: read at once; 1: within the gap; 2: after the gap, within the hold; 3: anything later.
    const int pause = in.ConsumeIntegralInRange(0, backToBack ? 2 : 3);
    const qint64 bounds[] = {0, kGapNs, kHoldNs, 3 * kHoldNs};
    const qint64 read =
        now + (pause == 0 ? 0 : in.ConsumeIntegralInRange(bounds[pause - 1] + 1, bounds[pause]));
    const auto deadline = listener.deadline();
    if (deadline && *deadline <= read && in.ConsumeBool())
      take(listener.idle(in.ConsumeIntegralInRange(*deadline, read), time));
    take(listener.read(QByteArrayView(line).sliced(at, piece), read, time));
    now = read;
    at += piece;
  }
  if (const auto deadline = listener.deadline()) take(listener.idle(*deadline, time));
  require(!listener.deadline(), "nothing waits once the hold is over");

  QByteArray joined;
  for (const TrafficEvent& e : out) {
    joined += e.bytes;
    if (!isWhatItSays(e))
      std::fprintf(stderr, "%s: %s\n", qPrintable(kindName(e.kind)), e.bytes.toHex(' ').data());
    require(isWhatItSays(e), "each event is what its bytes are");
  }
  require(joined == line, "every byte comes out once and in order");
  if (backToBack) {
    require(out.size() == sent.size(), "back-to-back requests come out one event each");
    for (std::size_t i = 0; i < out.size(); ++i)
      require(out[i].kind == EventKind::Request && out[i].bytes == sent[i],
              "each as the request it was");
  }
  return 0;
}
