#include "core/listen/HeardFrames.h"

#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/modbus/Crc16.h"
#include "core/modbus/HexText.h"
#include "core/modbus/RtuFrame.h"

#include <QStringList>

#include <array>

namespace vantor {

namespace {

constexpr std::uint8_t kExceptionBit = rtu::kExceptionBit;
constexpr qsizetype kExceptionLength = rtu::kExceptionLength;
constexpr qsizetype kShortestFrame = kExceptionLength;

std::uint8_t at(QByteArrayView bytes, qsizetype i) {
  return std::uint8_t(bytes[i]);
}

bool checkValueHolds(QByteArrayView frame) {
  if (frame.size() < 3) return false;
  const CheckValue check = checkValue(frame.first(frame.size() - 2));
  return at(frame, frame.size() - 2) == check.lo && at(frame, frame.size() - 1) == check.hi;
}

bool isRead(std::uint8_t function) {
  return function == rtu::kReadHolding || function == rtu::kReadInput;
}

bool isConfigFrame(QByteArrayView frame) {
  return fitsShape(byteSpan(frame), frame1602::kShape) ||
         fitsShape(byteSpan(frame), frame2004::kShape);
}

QString fieldSummary(const DataField& f) {
  return QStringLiteral("slave %1 function %2 register 0x%3")
      .arg(f.slaveAddress)
      .arg(hexDigits(std::uint8_t(f.functionCode)))
      .arg(hexDigits(f.startRegister, 4));
}

QString lineSummary(const ModuleLine& line, int pollInterval) {
  return QStringLiteral("%1%2, a poll every %3 s")
      .arg(line.baud.value_or(0))
      .arg(dataFormatSuffix(line.format))
      .arg(QString::number(pollInterval / 10.0, 'f', 1));
}

// The configuration a frame carries, in a line: the module's line settings and polls, and its
// rows; or why it is no configuration the windows could have sent.
QString configSummary(QByteArrayView frame) {
  QStringList rows;
  QStringList polls;
  QString line;
  QString refusal;
  if (frame.size() == frame1602::kSize) {
    const auto decoded = decodeConfig1602(frame);
    refusal = decoded.refusal;
    if (decoded.cfg) {
      line = lineSummary(decoded.cfg->line, decoded.cfg->pollInterval);
      polls << fieldSummary(decoded.cfg->field);
      for (const QString& row : decoded.cfg->rows) rows << u'"' + row + u'"';
    }
  } else {
    const auto decoded = decodeConfig2004(frame);
    refusal = decoded.refusal;
    if (decoded.cfg) {
      line = lineSummary(decoded.cfg->line, decoded.cfg->pollInterval);
      for (int k = 0; k < decoded.cfg->activeFields; ++k)
        polls << fieldSummary(decoded.cfg->fields[std::size_t(k)]);
      for (const QString& row : decoded.cfg->rows) rows << u'"' + row + u'"';
    }
  }
  const QString module = frame.size() == frame1602::kSize ? QStringLiteral("two-line module")
                                                          : QStringLiteral("four-line module");
  if (line.isEmpty()) return QStringLiteral("%1, but %2").arg(module, refusal);
  return QStringLiteral("%1 at %2: %3; rows %4")
      .arg(module, line, polls.join(QStringLiteral(", ")), rows.join(u' '));
}

QString readText(const ReadRequest& r) {
  if (!isRead(r.function))
    return QStringLiteral("slave %1, function %2").arg(r.slave).arg(hexDigits(r.function));
  return QStringLiteral("slave %1 reads %2 %3 register%4 from %5")
      .arg(r.slave)
      .arg(r.count)
      .arg(r.function == rtu::kReadHolding ? u"holding" : u"input")
      .arg(r.count == 1 ? u"" : u"s")
      .arg(QStringLiteral("0x") + hexDigits(r.start, 4));
}

}  // namespace

std::optional<ReadRequest> requestOf(QByteArrayView frame) {
  if (frame.size() != rtu::kRequestLength || !checkValueHolds(frame)) return std::nullopt;
  return ReadRequest{at(frame, rtu::kSlaveAddress), at(frame, rtu::kFunctionCode),
                     std::uint16_t(at(frame, rtu::kStartHi) << 8 | at(frame, rtu::kStartLo)),
                     std::uint16_t(at(frame, rtu::kCountHi) << 8 | at(frame, rtu::kCountLo))};
}

QString registerWords(const std::vector<std::uint16_t>& registers) {
  QStringList words;
  for (const std::uint16_t r : registers) words << QStringLiteral("0x") + hexDigits(r, 4);
  return words.join(u' ');
}

bool answers(const ReadRequest& request, QByteArrayView reply) {
  if (reply.size() < kExceptionLength || at(reply, 0) != request.slave) return false;
  const std::uint8_t function = at(reply, rtu::kFunctionCode);
  if (function == (request.function | kExceptionBit)) return reply.size() == kExceptionLength;
  return function == request.function && at(reply, rtu::kByteCount) == 2 * request.count &&
         reply.size() == 5 + 2 * request.count;
}

std::vector<std::uint16_t> registersOf(QByteArrayView response) {
  std::vector<std::uint16_t> registers;
  for (qsizetype i = rtu::kReplyData; i + 1 < response.size() - 2; i += 2)
    registers.push_back(std::uint16_t(at(response, i) << 8 | at(response, i + 1)));
  return registers;
}

FrameListener::FrameListener(std::chrono::nanoseconds gap, std::chrono::nanoseconds hold)
    : gapNs_(gap.count()), holdNs_(std::max(gap, hold).count()) {}

// The length of the frame that starts at `offset` and is complete in `bytes`; 0 for none.
qsizetype FrameListener::frameAt(QByteArrayView bytes, qsizetype offset) const {
  const QByteArrayView from = bytes.sliced(offset);
  if (from.size() < kShortestFrame) return 0;
  const std::uint8_t function = at(from, rtu::kFunctionCode);
  const std::uint8_t byteCount = at(from, rtu::kByteCount);
  const qsizetype replyLength = 5 + qsizetype(byteCount);
  if (isRead(function) && byteCount > 0 && byteCount % 2 == 0 && from.size() >= replyLength &&
      checkValueHolds(from.first(replyLength)))
    return replyLength;
  if ((function & kExceptionBit) && checkValueHolds(from.first(kExceptionLength)))
    return kExceptionLength;
  if (requestOf(from.first(std::min<qsizetype>(from.size(), rtu::kRequestLength))))
    return rtu::kRequestLength;
  for (const qsizetype size : {qsizetype(frame1602::kSize), qsizetype(frame2004::kSize)})
    if (from.size() >= size && isConfigFrame(from.first(size))) return size;
  return 0;
}

std::vector<TrafficEvent> FrameListener::read(QByteArrayView bytes, qint64 atNs,
                                              const QDateTime& time) {
  std::vector<TrafficEvent> out;
  if (bytes.isEmpty()) return out;
  if (!waiting_.isEmpty() && atNs - lastReadNs_ > gapNs_) {
    // After silence, late bytes still belong to what waits when together they complete a
    // frame that starts among the waiting bytes; otherwise what waits ended at the gap.
    const QByteArray joined = waiting_ + bytes.toByteArray();
    bool completes = false;
    for (qsizetype i = 0; i < waiting_.size() && !completes; ++i)
      completes = frameAt(joined, i) > waiting_.size() - i;
    if (!completes) cut(out, time, true);
  }
  waiting_.append(bytes.data(), bytes.size());
  lastReadNs_ = atNs;
  cut(out, time, waiting_.size() > kMaxWaiting);
  return out;
}

std::vector<TrafficEvent> FrameListener::idle(qint64 nowNs, const QDateTime& time) {
  std::vector<TrafficEvent> out;
  if (!waiting_.isEmpty() && nowNs - lastReadNs_ > holdNs_) cut(out, time, true);
  return out;
}

std::optional<qint64> FrameListener::deadline() const {
  if (waiting_.isEmpty()) return std::nullopt;
  return lastReadNs_ + holdNs_ + 1;
}

void FrameListener::cut(std::vector<TrafficEvent>& out, const QDateTime& time, bool final) {
  for (qsizetype i = 0; i < waiting_.size();) {
    const qsizetype length = frameAt(waiting_, i);
    if (length == 0) {
      ++i;
      continue;
    }
    // What comes before a frame can only be noise: the frame's bytes followed it.
    if (i > 0) emitNoise(out, waiting_.first(i), time);
    emitFrame(out, waiting_.sliced(i, length), time);
    waiting_.remove(0, i + length);
    i = 0;
  }
  if (!final || waiting_.isEmpty()) return;
  emitNoise(out, waiting_, time);
  waiting_.clear();
}

void FrameListener::emitFrame(std::vector<TrafficEvent>& out, QByteArray bytes,
                              const QDateTime& time) {
  TrafficEvent e;
  e.time = time;
  e.direction = Direction::Rx;
  const std::uint8_t function = at(bytes, rtu::kFunctionCode);
  if (const auto request = requestOf(bytes)) {
    e.kind = EventKind::Request;
    e.detail = readText(*request);
    pending_ = isRead(request->function) ? request : std::nullopt;
  } else if (isConfigFrame(bytes)) {
    e.kind = EventKind::ConfigFrame;
    e.detail = configSummary(bytes);
  } else {
    const bool paired = pending_ && answers(*pending_, bytes);
    const QString heard = bytes.size() == kExceptionLength
                              ? QStringLiteral("slave %1 refuses function %2: exception %3 (%4)")
                                    .arg(at(bytes, 0))
                                    .arg(hexDigits(function & ~kExceptionBit))
                                    .arg(hexDigits(at(bytes, 2)))
                                    .arg(QLatin1String(rtu::exceptionMeaning(at(bytes, 2))))
                              : QStringLiteral("slave %1 answers %2")
                                    .arg(at(bytes, 0))
                                    .arg(registerWords(registersOf(bytes)));
    e.kind = bytes.size() == kExceptionLength ? EventKind::Exception : EventKind::Response;
    e.detail = paired ? QStringLiteral("%1 (the reply to: %2)").arg(heard, readText(*pending_))
                      : QStringLiteral("%1 (no request for it heard)").arg(heard);
    if (paired) pending_.reset();
  }
  e.bytes = std::move(bytes);
  out.push_back(std::move(e));
}

void FrameListener::emitNoise(std::vector<TrafficEvent>& out, QByteArray bytes,
                              const QDateTime& time) {
  TrafficEvent e;
  e.time = time;
  e.direction = Direction::Rx;
  if (bytes.size() >= kShortestFrame) {
    e.kind = EventKind::CrcError;
    const CheckValue check = checkValue(QByteArrayView(bytes).first(bytes.size() - 2));
    e.detail = QStringLiteral("expected check value %1")
                   .arg(hexText(QByteArray(1, char(check.lo)) + char(check.hi)));
  } else {
    e.kind = EventKind::Fragment;
  }
  e.bytes = std::move(bytes);
  out.push_back(std::move(e));
}

}  // namespace vantor
