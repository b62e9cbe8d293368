#include "core/modbus/RequestCutter.h"

#include "core/modbus/Crc16.h"
#include "core/modbus/RtuFrame.h"

namespace vantor {

namespace {

constexpr qsizetype kRequest = rtu::kRequestLength;

// The first offset from `from` at which a request starts that ends at or before the end.
std::optional<qsizetype> firstRequest(QByteArrayView bytes, qsizetype from) {
  for (qsizetype i = from; i + kRequest <= bytes.size(); ++i)
    if (holdsRequestAt(bytes, i)) return i;
  return std::nullopt;
}

}  // namespace

bool holdsRequestAt(QByteArrayView bytes, qsizetype offset) {
  if (offset < 0 || offset + kRequest > bytes.size()) return false;
  const QByteArrayView request = bytes.sliced(offset, kRequest);
  const CheckValue check = checkValue(request.first(rtu::kRequestBody));
  return std::uint8_t(request[rtu::kRequestCheckLo]) == check.lo &&
         std::uint8_t(request[rtu::kRequestCheckHi]) == check.hi;
}

std::vector<CutPiece> RequestCutter::read(QByteArrayView bytes, qint64 atNs) {
  std::vector<CutPiece> out;
  if (bytes.isEmpty()) return out;
  if (!waiting_.isEmpty() && atNs - lastReadNs_ > gapNs_) {
    // Late bytes still belong to what waits when together they complete a request that
    // starts among the waiting bytes; otherwise what waits ended at the gap.
    const QByteArray joined = waiting_ + bytes.toByteArray();
    const auto start = firstRequest(joined, 0);
    if (!start || *start >= waiting_.size()) cut(out, true);
  }
  waiting_.append(bytes.data(), bytes.size());
  lastReadNs_ = atNs;
  cut(out, waiting_.size() > kMaxWaiting);
  return out;
}

std::vector<CutPiece> RequestCutter::idle(qint64 nowNs) {
  std::vector<CutPiece> out;
  if (!waiting_.isEmpty() && nowNs - lastReadNs_ > holdNs_) cut(out, true);
  return out;
}

std::optional<qint64> RequestCutter::deadline() const {
  if (waiting_.isEmpty()) return std::nullopt;
  return lastReadNs_ + holdNs_ + 1;
}

void RequestCutter::cut(std::vector<CutPiece>& out, bool final) {
  // Bytes with no request among them: the first 8 are judged as a request whose check value
  // is wrong, what follows them (or fewer) is a fragment.
  const auto noise = [&out](QByteArray bytes) {
    if (bytes.size() >= kRequest) {
      out.push_back({bytes.first(kRequest), true});
      bytes.remove(0, kRequest);
    }
    if (!bytes.isEmpty()) out.push_back({bytes, false});
  };
  while (waiting_.size() >= kRequest) {
    const auto start = firstRequest(waiting_, 0);
    if (!start) break;
    if (*start > 0) noise(waiting_.first(*start));
    out.push_back({waiting_.sliced(*start, kRequest), true});
    waiting_.remove(0, *start + kRequest);
  }
  if (!final || waiting_.isEmpty()) return;
  noise(waiting_);
  waiting_.clear();
}

}  // namespace vantor
