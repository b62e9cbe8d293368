// The request cutter fed arbitrary bytes in pieces and at times the input chooses, with the
// timer that calls idle() firing whenever it likes after its deadline (a busy machine):
// - every byte comes out exactly once and in order;
// - a piece judged as a request is 8 bytes, and no piece given up as noise holds a whole
//   request whose check value holds;
// - back-to-back requests (an input whose first byte is odd), however they are split across
//   reads no further apart than the hold, all come out as those requests.

#include "Require.h"

#include "core/modbus/Crc16.h"
#include "core/modbus/FrameCutter.h"
#include "core/modbus/RequestCutter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace vantor;
using fuzz::require;

namespace {

constexpr qint64 kGapNs = 1'750'000;  // above 19200 baud
constexpr qint64 kHoldNs = std::chrono::nanoseconds(FrameCutter::kHold).count();

// Told by the check value itself, not by the code under test.
bool isRequest(QByteArrayView bytes) {
  return bytes.size() == 8 && withCheckValue(bytes.first(6)) == bytes;
}

bool holdsRequestAnywhere(const QByteArray& bytes) {
  for (qsizetype i = 0; i + 8 <= bytes.size(); ++i)
    if (isRequest(QByteArrayView(bytes).sliced(i, 8))) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool backToBack = in.ConsumeIntegral<std::uint8_t>() & 1;
  QByteArray line;
  std::vector<QByteArray> sent;
  if (backToBack) {
    for (int n = in.ConsumeIntegralInRange(0, 64); n > 0; --n) {
      const std::string body = in.ConsumeBytesAsString(6);
      sent.push_back(withCheckValue(QByteArray::fromStdString(body).leftJustified(6, '\0')));
      line += sent.back();
    }
  } else {
    line = QByteArray::fromStdString(in.ConsumeBytesAsString(in.ConsumeIntegralInRange(0, 2048)));
  }

  RequestCutter cutter{std::chrono::nanoseconds(kGapNs)};
  std::vector<CutPiece> out;
  const auto take = [&out](std::vector<CutPiece> pieces) {
    out.insert(out.end(), pieces.begin(), pieces.end());
  };
  qint64 now = 1'000'000'000;
  for (qsizetype at = 0; at < line.size();) {
    // What the input does not split is read at once.
    const qsizetype piece = std::min<qsizetype>(
        line.size() - at, in.remaining_bytes() ? in.ConsumeIntegralInRange(1, 300) : line.size());
    // 0: read at once; 1: within the gap; 2: after the gap, within the hold; 3: anything later.
    const int pause = in.ConsumeIntegralInRange(0, backToBack ? 2 : 3);
    const qint64 bounds[] = {0, kGapNs, kHoldNs, 3 * kHoldNs};
    const qint64 read =
        now + (pause == 0 ? 0 : in.ConsumeIntegralInRange(bounds[pause - 1] + 1, bounds[pause]));
    const auto deadline = cutter.deadline();
    if (deadline && *deadline <= read && in.ConsumeBool())
      take(cutter.idle(in.ConsumeIntegralInRange(*deadline, read)));
    take(cutter.read(QByteArrayView(line).sliced(at, piece), read));
    now = read;
    at += piece;
  }
  if (const auto deadline = cutter.deadline()) take(cutter.idle(*deadline));
  require(!cutter.deadline(), "nothing waits once the hold is over");

  QByteArray joined;
  for (const CutPiece& p : out) {
    joined += p.bytes;
    require(!p.request || p.bytes.size() == 8, "a request is 8 bytes");
    const bool validRequest = p.request && isRequest(p.bytes);
    require(validRequest || !holdsRequestAnywhere(p.bytes), "no noise holds a whole request");
  }
  require(joined == line, "every byte comes out once and in order");
  if (backToBack) {
    require(out.size() == sent.size(), "back-to-back requests come out one piece each");
    for (std::size_t i = 0; i < out.size(); ++i)
      require(out[i].request && out[i].bytes == sent[i], "each as the request it was");
  }
  return 0;
}
