#include "core/replay/Recording.h"

#include "core/io/RegularFile.h"
#include "core/modbus/RtuFrame.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>

namespace vantor {

namespace {

// Days of polling at the shortest interval; more is no recording Vantor wrote.
constexpr qint64 kMaxRecordingSize = qint64(256) << 20;

enum class Source { Served, Heard, Polled };

// Whether `reply` comes from the slave `request` asked, for the function it asked.
bool echoes(QByteArrayView reply, QByteArrayView request) {
  return reply.size() > rtu::kFunctionCode && request.size() > rtu::kFunctionCode &&
         reply[rtu::kSlaveAddress] == request[rtu::kSlaveAddress] &&
         (std::uint8_t(reply[rtu::kFunctionCode]) & ~rtu::kExceptionBit) ==
             std::uint8_t(request[rtu::kFunctionCode]);
}

class Pairing {
 public:
  void take(const LogRecord& r) {
    if (r.direction == Direction::Tx) {
      if (r.kind == reply_) return servedReply(r);
      if (!r.bytes.isEmpty()) request(r, Source::Polled);
      return;
    }
    if (r.kind == answered_ || r.kind == unanswered_) {
      request(r, Source::Served);
      if (r.kind == answered_) served_.push_back(exchanges.size() - 1);
      return;
    }
    if (r.kind == heardRequest_) return request(r, Source::Heard);
    const bool heardReply = r.kind == response_ || r.kind == exception_ || r.kind == crcError_;
    if (heardReply && latest_ && latest_->source == Source::Heard)
      return answer(latest_->index, r, r.bytes.size());
    if (r.kind == crcError_) return request(r, Source::Served);
    if (heardReply || r.kind == fragment_ || r.kind == echo_ || r.kind == configFrame_) return;
    // What came of a poll (kinds of their own) names the poll's field; stray bytes name none.
    if (latest_ && latest_->source == Source::Polled && r.slave > 0 && r.slave == latest_->slave)
      answer(latest_->index, r, exchanges[latest_->index].request.size() + r.bytes.size());
  }

  std::vector<RecordedExchange> exchanges;

 private:
  void request(const LogRecord& r, Source source) {
    RecordedExchange x;
    x.line = r.line;
    x.time = r.time;
    x.request = r.bytes;
    exchanges.push_back(std::move(x));
    latest_.reset();
    // A served request's fate was settled as it came: answered or not.
    if (source != Source::Served) latest_ = Latest{exchanges.size() - 1, source, r.slave};
  }

  void servedReply(const LogRecord& r) {
    if (served_.empty()) return;
    auto waiting = std::find_if(served_.begin(), served_.end(), [&](std::size_t i) {
      return echoes(r.bytes, exchanges[i].request);
    });
    if (waiting == served_.end()) waiting = served_.begin();
    const std::size_t index = *waiting;
    served_.erase(waiting);
    answer(index, r, 0);
  }

  // `r` ends the wait of exchange `index`: its reply, or none when it holds no bytes.
  void answer(std::size_t index, const LogRecord& r, qsizetype bytesInDelay) {
    if (latest_ && latest_->index == index) latest_.reset();
    if (r.bytes.isEmpty()) return;
    RecordedExchange& x = exchanges[index];
    x.reply = r.bytes;
    x.replyLine = r.line;
    x.delayMs = x.time.msecsTo(r.time);
    x.bytesInDelay = bytesInDelay;
  }

  struct Latest {
    std::size_t index;
    Source source;
    int slave;
  };
  // The latest request while a reply may still follow it.
  std::optional<Latest> latest_;
  // Served requests answered whose reply has not been seen yet, oldest first.
  std::deque<std::size_t> served_;

  const QString answered_ = kindName(EventKind::Answered);
  const QString unanswered_ = kindName(EventKind::Unanswered);
  const QString crcError_ = kindName(EventKind::CrcError);
  const QString fragment_ = kindName(EventKind::Fragment);
  const QString echo_ = kindName(EventKind::Echo);
  const QString reply_ = kindName(EventKind::Reply);
  const QString heardRequest_ = kindName(EventKind::Request);
  const QString response_ = kindName(EventKind::Response);
  const QString exception_ = kindName(EventKind::Exception);
  const QString configFrame_ = kindName(EventKind::ConfigFrame);
};

}  // namespace

std::chrono::nanoseconds ReplayPace::played(qint64 recordedMs, qsizetype bytesOnLine) const {
  const double site =
      double(recordedMs) * 1e6 - double(bytesOnLine) * double(characterTime.count());
  return std::chrono::nanoseconds(std::llround(std::max(site, 0.0) / speed));
}

std::vector<RecordedExchange> pairExchanges(const std::vector<LogRecord>& records) {
  Pairing pairing;
  for (const LogRecord& r : records) pairing.take(r);
  return std::move(pairing.exchanges);
}

RecordingRead readRecording(QByteArrayView content, LogFormat format, const QString& path) {
  const auto refuse = [&path](qsizetype line, const QString& what) {
    return RecordingRead{std::nullopt,
                         QStringLiteral("%1, line %2: %3").arg(path).arg(line).arg(what)};
  };
  const LogReading reading = readLog(content, format);
  if (!reading.fault.isEmpty()) return refuse(reading.faultLine, reading.fault);
  // Replayed delays and spacing come from the times: a time that goes back has no place in them.
  for (std::size_t i = 1; i < reading.records.size(); ++i) {
    const LogRecord& before = reading.records[i - 1];
    const LogRecord& r = reading.records[i];
    if (r.time < before.time)
      return refuse(r.line, QStringLiteral("the time goes backwards, to %1 after %2 on line %3")
                                .arg(isoTime(r.time), isoTime(before.time))
                                .arg(before.line));
  }
  Recording recording{path, pairExchanges(reading.records)};
  if (recording.exchanges.empty())
    return {std::nullopt, QStringLiteral("%1 holds no request to replay").arg(path)};
  return {std::move(recording), {}};
}

RecordingRead readRecording(const QString& path) {
  const auto format = logFormatOf(path);
  if (!format)
    return {
        std::nullopt,
        QStringLiteral("%1 is no recording: name an export ending in .csv or .jsonl").arg(path)};
  const RegularFileRead file = readRegularFile(path, kMaxRecordingSize);
  if (!file.reason.isEmpty())
    return {std::nullopt, QStringLiteral("%1 could not be read: %2").arg(path, file.reason)};
  return readRecording(file.bytes, *format, path);
}

}  // namespace vantor
