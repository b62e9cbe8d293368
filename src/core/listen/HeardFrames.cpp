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

bool isRead(std::uint8_t function) {
  return function == rtu::kReadHolding || function == rtu::kReadInput;
}

// The length of a response whose check value holds at the start of `bytes`, 0 for none, or
// nothing while more bytes may still complete one.
std::optional<qsizetype> responseAt(QByteArrayView bytes) {
  if (bytes.size() > rtu::kFunctionCode && !isRead(at(bytes, rtu::kFunctionCode))) return 0;
  if (bytes.size() <= rtu::kByteCount) return std::nullopt;
  const std::uint8_t byteCount = at(bytes, rtu::kByteCount);
  const qsizetype length = 5 + qsizetype(byteCount);
  if (byteCount == 0 || byteCount % 2 != 0) return 0;
  if (bytes.size() < length) return std::nullopt;
  return checkValueHolds(bytes.first(length)) ? length : 0;
}

// A configuration frame at the start of `bytes`: its rows printable make it likelier than one
// whose rows are not, since the windows only ever send printable rows.
FrameFit configAt(QByteArrayView bytes) {
  FrameFit found;
  bool prefix = false;
  for (const auto& [shape, rows] :
       {std::pair{frame1602::kShape, frame1602::kRowCount * frame1602::kRowWidth},
        std::pair{frame2004::kShape, frame2004::kRowCount * frame2004::kRowWidth}}) {
    if (bytes.size() < shape.size) {
      prefix = true;
      continue;
    }
    const QByteArrayView frame = bytes.first(shape.size);
    if (!fitsShape(byteSpan(frame), shape)) continue;
    const bool printable = std::all_of(frame.begin(), frame.begin() + rows,
                                       [](char c) { return c >= 0x20 && c <= 0x7E; });
    const int likelihood = printable ? 1 : 0;
    if (found.kind != FrameFit::Kind::Likely || likelihood >= found.likelihood)
      found = {FrameFit::Kind::Likely, shape.size, likelihood};
  }
  if (found.kind == FrameFit::Kind::Likely) return found;
  return {prefix ? FrameFit::Kind::Prefix : FrameFit::Kind::None};
}

// What a listener counts as a frame: a response, an exception reply, a request (each with its
// check value), then a configuration frame.
FrameFit heardFit(QByteArrayView bytes, qsizetype offset) {
  using Kind = FrameFit::Kind;
  const QByteArrayView from = bytes.sliced(offset);
  const std::optional<qsizetype> response = responseAt(from);
  if (response && *response > 0) return {Kind::Frame, *response};
  bool prefix = !response;
  if (from.size() < 2 || (at(from, rtu::kFunctionCode) & kExceptionBit)) {
    if (from.size() < kExceptionLength)
      prefix = true;
    else if (checkValueHolds(from.first(kExceptionLength)))
      return {Kind::Frame, kExceptionLength};
  }
  if (from.size() < rtu::kRequestLength)
    prefix = true;
  else if (requestOf(from.first(rtu::kRequestLength)))
    return {Kind::Frame, rtu::kRequestLength};
  const FrameFit config = configAt(from);
  if (config.kind == Kind::Likely || !prefix) return config;
  return {Kind::Prefix};
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

std::uint32_t registerValue(const std::vector<std::uint16_t>& registers) {
  if (registers.empty()) return 0;
  if (registers.size() == 1) return registers[0];
  return std::uint32_t(registers[0]) << 16 | registers[1];
}

FrameListener::FrameListener(std::chrono::nanoseconds gap, std::chrono::nanoseconds hold)
    : cutter_(heardFit, gap, hold) {}

std::vector<TrafficEvent> FrameListener::read(QByteArrayView bytes, qint64 atNs,
                                              const QDateTime& time) {
  return told(cutter_.read(bytes, atNs), time);
}

std::vector<TrafficEvent> FrameListener::idle(qint64 nowNs, const QDateTime& time) {
  return told(cutter_.idle(nowNs), time);
}

std::vector<TrafficEvent> FrameListener::told(const std::vector<CutPart>& parts,
                                              const QDateTime& time) {
  std::vector<TrafficEvent> events;
  for (const CutPart& part : parts)
    events.push_back(part.frame ? frameEvent(part.bytes, time) : noiseEvent(part.bytes, time));
  return events;
}

TrafficEvent FrameListener::frameEvent(QByteArray bytes, const QDateTime& time) {
  TrafficEvent e;
  e.time = time;
  e.direction = Direction::Rx;
  const std::uint8_t function = at(bytes, rtu::kFunctionCode);
  if (const auto request = requestOf(bytes)) {
    e.kind = EventKind::Request;
    e.detail = readText(*request);
    pending_ = isRead(request->function) ? request : std::nullopt;
  } else if (bytes.size() != kExceptionLength && responseAt(bytes) != bytes.size()) {
    // Neither a request nor a reply: the configuration frame that heardFit() took it for.
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
  return e;
}

TrafficEvent FrameListener::noiseEvent(QByteArray bytes, const QDateTime& time) {
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
  return e;
}

}  // namespace vantor
