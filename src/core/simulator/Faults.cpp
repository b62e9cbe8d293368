#include "core/simulator/Faults.h"

#include "core/modbus/RtuFrame.h"

#include <QStringList>

namespace vantor {

namespace {

constexpr int kMaxDelayMs = 60000;

QString code2(int code) {
  return QString::number(code).rightJustified(2, u'0');
}

std::optional<int> wholeNumber(QStringView text, int first, int last) {
  bool ok = false;
  const int value = text.toInt(&ok);
  if (!ok || value < first || value > last || text.startsWith(u'+')) return std::nullopt;
  return value;
}

}  // namespace

void applyFault(Response& r, const Fault& fault) {
  if (r.verdict != Verdict::Answered || r.request.size() < rtu::kRequestLength) return;
  const auto address = std::uint8_t(r.request.at(rtu::kSlaveAddress));
  const auto function = std::uint8_t(r.request.at(rtu::kFunctionCode));
  r.altered = fault.kind != FaultKind::None;
  switch (fault.kind) {
    case FaultKind::None:
      return;
    case FaultKind::Silent:
      r.reply.clear();
      r.note = QStringLiteral("no reply: fault on %1").arg(slaveName(address, r.slave));
      return;
    case FaultKind::Exception:
      // Address, the function code with its high bit set, the exception code, check value.
      r.reply = withCheckValue(QByteArray(1, char(address)) + char(function | rtu::kExceptionBit) +
                               char(fault.exceptionCode));
      r.note = QStringLiteral("exception %1 sent").arg(code2(fault.exceptionCode));
      return;
    case FaultKind::BadCrc:
      if (r.reply.isEmpty()) return;
      r.reply[r.reply.size() - 1] = char(r.reply.back() ^ 0xFF);
      r.note = QStringLiteral("reply with a broken check value sent");
      return;
    case FaultKind::WrongAddress: {
      if (r.reply.isEmpty()) return;
      const std::uint8_t other = address >= rtu::kHighestAddress ? 1 : std::uint8_t(address + 1);
      r.reply = withCheckValue(QByteArray(1, char(other)) + r.reply.mid(1, r.reply.size() - 3));
      r.note = QStringLiteral("reply from address %1 sent").arg(other);
      return;
    }
  }
}

QString describeFault(const Fault& f) {
  QStringList parts;
  switch (f.kind) {
    case FaultKind::None:
      break;
    case FaultKind::Silent:
      parts << QStringLiteral("no reply");
      break;
    case FaultKind::Exception:
      for (const ExceptionCode& e : kExceptionCodes)
        if (e.code == f.exceptionCode)
          parts << QStringLiteral("exception %1 (%2)").arg(code2(e.code), QLatin1String(e.meaning));
      break;
    case FaultKind::BadCrc:
      parts << QStringLiteral("broken check value");
      break;
    case FaultKind::WrongAddress:
      parts << QStringLiteral("reply from the next address");
      break;
  }
  if (f.delayMaxMs > 0)
    parts << (f.delayMinMs == f.delayMaxMs
                  ? QStringLiteral("reply delayed %1 ms").arg(f.delayMaxMs)
                  : QStringLiteral("reply delayed %1-%2 ms").arg(f.delayMinMs).arg(f.delayMaxMs));
  if (parts.isEmpty()) return {};
  QString text = QStringLiteral("Fault: ") + parts.join(QStringLiteral("; "));
  if (f.oneIn > 1) text += QStringLiteral(", one poll in %1").arg(f.oneIn);
  return text;
}

std::optional<Fault> parseFault(QStringView text) {
  Fault f;
  if (const qsizetype slash = text.indexOf(u'/'); slash >= 0) {
    const auto n = wholeNumber(text.sliced(slash + 1), 1, 1000000);
    if (!n) return std::nullopt;
    f.oneIn = *n;
    text = text.first(slash);
  }
  if (text == u"none") {
    f.kind = FaultKind::None;  // with /N: a delay on one poll in N
  } else if (text == u"silent") {
    f.kind = FaultKind::Silent;
  } else if (text == u"bad-crc") {
    f.kind = FaultKind::BadCrc;
  } else if (text == u"wrong-address") {
    f.kind = FaultKind::WrongAddress;
  } else if (text.startsWith(u"exception:")) {
    const auto code = wholeNumber(text.sliced(10), 1, 6);
    if (!code || *code == 5) return std::nullopt;
    f.kind = FaultKind::Exception;
    f.exceptionCode = *code;
  } else {
    return std::nullopt;
  }
  return f;
}

std::optional<std::pair<int, int>> parseDelay(QStringView text) {
  const qsizetype dash = text.indexOf(u'-');
  const auto low = wholeNumber(dash < 0 ? text : text.first(dash), 0, kMaxDelayMs);
  const auto high = dash < 0 ? low : wholeNumber(text.sliced(dash + 1), 0, kMaxDelayMs);
  if (!low || !high || *high < *low) return std::nullopt;
  return std::pair{*low, *high};
}

}  // namespace vantor
