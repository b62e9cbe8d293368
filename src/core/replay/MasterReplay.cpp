#include "core/replay/MasterReplay.h"

#include "core/listen/HeardFrames.h"
#include "core/modbus/Crc16.h"
#include "core/modbus/HexText.h"
#include "core/modbus/RtuFrame.h"
#include "core/simulator/TypedValue.h"

#include <cstdint>
#include <numeric>

namespace vantor {

namespace {

std::uint8_t at(QByteArrayView bytes, qsizetype i) {
  return std::uint8_t(bytes[i]);
}

// The field, and its slave, whose poll `request` is: the address, function, start register and
// register count all the same.
struct PolledField {
  int field = 0;
  Slave slave;
};
std::optional<PolledField> fieldOf(QByteArrayView request, const SlaveTable& fields) {
  const auto read = requestOf(request);
  if (!read) return std::nullopt;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const Slave& s = fields[i];
    if (s.enabled && s.address == read->slave && s.functionCode == read->function &&
        s.startRegister == read->start && s.registerCount == read->count)
      return PolledField{int(i) + 1, s};
  }
  return std::nullopt;
}

// A reply's bytes and what they say where that can be read: "01 03 02 04 D2 3B 19 = 123.4".
QString replyText(QByteArrayView request, QByteArrayView reply,
                  const std::optional<PolledField>& field) {
  const QString bytes = hexText(reply);
  if (!checkValueHolds(reply)) return bytes + QStringLiteral(" (check value wrong)");
  if (reply.size() == rtu::kExceptionLength && (at(reply, rtu::kFunctionCode) & rtu::kExceptionBit))
    return bytes +
           QStringLiteral(" = exception %1 (%2)")
               .arg(hexDigits(at(reply, 2)), QLatin1String(rtu::exceptionMeaning(at(reply, 2))));
  const auto read = requestOf(request);
  if (!field || !read || !answers(*read, reply)) return bytes;
  std::uint32_t raw = 0;
  for (const std::uint16_t r : registersOf(reply)) raw = raw << 16 | r;
  return bytes + QStringLiteral(" = ") +
         decodeTyped(raw, TypedFormat{field->slave.dataType, field->slave.decimals});
}

QString quantity(int n, const char* one, const char* many) {
  return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

}  // namespace

std::vector<std::chrono::nanoseconds> masterSchedule(const Recording& recording,
                                                     const ReplayPace& pace) {
  std::vector<std::chrono::nanoseconds> schedule;
  if (recording.exchanges.empty()) return schedule;
  const QDateTime first = recording.exchanges.front().time;
  for (const RecordedExchange& x : recording.exchanges)
    schedule.push_back(pace.played(first.msecsTo(x.time)));
  return schedule;
}

ReplyComparison compareReply(const RecordedExchange& recorded,
                             const std::optional<QByteArray>& reply, const SlaveTable& fields) {
  const bool came = reply && !reply->isEmpty();
  if (came ? recorded.reply == reply : !recorded.reply) return {};
  const auto field = fieldOf(recorded.request, fields);
  QString line = QStringLiteral("line %1, %2").arg(recorded.line).arg(hexText(recorded.request));
  if (field) line += QStringLiteral(", ") + slaveName(field->slave.address, field->field);
  if (!came)
    return {ReplyOutcome::NoReply, line + QStringLiteral(": no reply; recorded ") +
                                       replyText(recorded.request, *recorded.reply, field)};
  if (!recorded.reply)
    return {ReplyOutcome::UnexpectedReply,
            line + QStringLiteral(": a reply where the recording had none: ") +
                replyText(recorded.request, *reply, field)};
  return {ReplyOutcome::OtherBytes,
          line + QStringLiteral(": other bytes: recorded %1, now %2")
                     .arg(replyText(recorded.request, *recorded.reply, field),
                          replyText(recorded.request, *reply, field))};
}

int polledField(QByteArrayView request, const SlaveTable& fields) {
  const auto field = fieldOf(request, fields);
  return field ? field->field : 0;
}

QString ReplayTally::summary() const {
  const int sent = std::accumulate(counts_.begin(), counts_.end(), 0);
  return QStringLiteral(
             "%1 sent: %2 matched, %3 with other bytes, %4, %5 where the recording "
             "had none")
      .arg(quantity(sent, "request", "requests"))
      .arg(counted(ReplyOutcome::Matched))
      .arg(counted(ReplyOutcome::OtherBytes))
      .arg(quantity(counted(ReplyOutcome::NoReply), "without a reply", "without a reply"))
      .arg(quantity(counted(ReplyOutcome::UnexpectedReply), "reply", "replies"));
}

int ReplayTally::exitStatus() const {
  return counted(ReplyOutcome::Matched) == std::accumulate(counts_.begin(), counts_.end(), 0) ? 0
                                                                                              : 2;
}

}  // namespace vantor
