#include "core/modbus/RequestCutter.h"

#include "core/modbus/Crc16.h"
#include "core/modbus/RtuFrame.h"

namespace vantor {

namespace {

constexpr qsizetype kRequest = rtu::kRequestLength;

FrameFit requestFit(QByteArrayView bytes, qsizetype offset) {
  if (bytes.size() - offset < kRequest) return {FrameFit::Kind::Prefix};
  if (holdsRequestAt(bytes, offset)) return {FrameFit::Kind::Frame, kRequest};
  return {};
}

std::vector<CutPiece> piecesOf(const std::vector<CutPart>& parts) {
  std::vector<CutPiece> pieces;
  for (const CutPart& part : parts) {
    QByteArrayView bytes = part.bytes;
    if (bytes.size() >= kRequest) {
      pieces.push_back({bytes.first(kRequest).toByteArray(), true});
      bytes = bytes.sliced(kRequest);
    }
    if (!bytes.isEmpty()) pieces.push_back({bytes.toByteArray(), false});
  }
  return pieces;
}

}  // namespace

bool holdsRequestAt(QByteArrayView bytes, qsizetype offset) {
  if (offset < 0 || offset + kRequest > bytes.size()) return false;
  const QByteArrayView request = bytes.sliced(offset, kRequest);
  const CheckValue check = checkValue(request.first(rtu::kRequestBody));
  return std::uint8_t(request[rtu::kRequestCheckLo]) == check.lo &&
         std::uint8_t(request[rtu::kRequestCheckHi]) == check.hi;
}

RequestCutter::RequestCutter(std::chrono::nanoseconds gap, std::chrono::nanoseconds hold)
    : cutter_(requestFit, gap, hold) {}

std::vector<CutPiece> RequestCutter::read(QByteArrayView bytes, qint64 atNs) {
  return piecesOf(cutter_.read(bytes, atNs));
}

std::vector<CutPiece> RequestCutter::idle(qint64 nowNs) {
  return piecesOf(cutter_.idle(nowNs));
}

}  // namespace vantor
