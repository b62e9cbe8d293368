#include "core/simulator/Responder.h"

#include "core/modbus/HexText.h"
#include "core/modbus/RtuFrame.h"

namespace vantor {

namespace {

std::uint8_t byteAt(QByteArrayView bytes, int i) {
  return static_cast<std::uint8_t>(bytes[i]);
}

// The reply of `slave` (0-based) to `request`: address and function code echoed, the byte
// count, the registers high byte first, the check value. Nothing while a needed value list
// has no entry chosen.
std::optional<QByteArray> replyOf(QByteArrayView request, const Slave& slave,
                                  const ValueLists& values) {
  const auto low = values[0];
  const auto high = values[1];
  const auto third = slave.registerCount == 1 ? std::optional<std::uint8_t>(0) : values[2];
  if (!low || !high || !third) return std::nullopt;

  QByteArray reply = request.first(rtu::kByteCount).toByteArray();
  if (slave.registerCount == 1) {
    reply.append(char(2)).append(char(*high)).append(char(*low));
  } else {
    reply.append(char(4))
        .append(char(0))
        .append(char(*third))
        .append(char(*high))
        .append(char(*low));
  }
  return withCheckValue(reply);
}

}  // namespace

ValueLists valueListsOf(std::uint32_t raw) {
  return {std::uint8_t(raw & 0xFF), std::uint8_t((raw >> 8) & 0xFF),
          std::uint8_t((raw >> 16) & 0x0F)};
}

std::optional<std::uint32_t> rawOfLists(const ValueLists& lists, int registerCount) {
  if (!lists[0] || !lists[1] || (registerCount == 2 && !lists[2])) return std::nullopt;
  return std::uint32_t(*lists[0]) | std::uint32_t(*lists[1]) << 8 |
         (registerCount == 2 ? std::uint32_t(*lists[2]) << 16 : 0);
}

Response respond(QByteArrayView received, const SlaveTable& table, const ChosenValues& values) {
  Response r;
  if (received.size() < rtu::kRequestLength) return r;
  const QByteArrayView request = received.first(rtu::kRequestLength);
  r.request = request.toByteArray();
  r.expected = checkValue(request.first(rtu::kRequestBody));
  if (byteAt(request, rtu::kRequestCheckLo) != r.expected.lo ||
      byteAt(request, rtu::kRequestCheckHi) != r.expected.hi) {
    r.verdict = Verdict::CrcError;
    return r;
  }

  const std::uint8_t address = byteAt(request, rtu::kSlaveAddress);
  const std::uint8_t function = byteAt(request, rtu::kFunctionCode);
  const int start = byteAt(request, rtu::kStartHi) * 256 + byteAt(request, rtu::kStartLo);
  const int count = byteAt(request, rtu::kCountHi) * 256 + byteAt(request, rtu::kCountLo);

  r.verdict = Verdict::NoSuchAddress;
  for (int i = 0; i < kSlaveCount; ++i) {
    const Slave& slave = table[std::size_t(i)];
    if (!slave.enabled || slave.address != address) continue;
    const Verdict verdict = slave.functionCode != function ? Verdict::FunctionDiffers
                            : slave.startRegister != start ? Verdict::StartDiffers
                            : slave.registerCount != count ? Verdict::CountDiffers
                                                           : Verdict::Answered;
    if (verdict != Verdict::Answered) {
      // Reported only when no slave further down answers it.
      if (r.verdict == Verdict::NoSuchAddress) {
        r.verdict = verdict;
        r.slave = i + 1;
        r.configured = slave;
      }
      continue;
    }
    r.slave = i + 1;
    r.configured = slave;
    const auto reply = replyOf(request, slave, values[std::size_t(i)]);
    r.verdict = reply ? Verdict::Answered : Verdict::NoValueChosen;
    r.reply = reply.value_or(QByteArray());
    return r;
  }
  return r;
}

QString statusText(Verdict verdict) {
  switch (verdict) {
    case Verdict::Fragment:
      return {};
    case Verdict::CrcError:
      return QStringLiteral("CRC Error");
    default:
      return QStringLiteral("CRC Validated");
  }
}

QString reasonText(const Response& r) {
  const int count = r.request.size() < rtu::kRequestLength
                        ? 0
                        : byteAt(r.request, rtu::kCountHi) * 256 + byteAt(r.request, rtu::kCountLo);
  const auto registers = [](int n) {
    return n == 1 ? QStringLiteral("1 register") : QStringLiteral("%1 registers").arg(n);
  };
  switch (r.verdict) {
    case Verdict::NoSuchAddress:
      return QStringLiteral("no simulated slave has address %1")
          .arg(byteAt(r.request, rtu::kSlaveAddress));
    case Verdict::FunctionDiffers:
      return QStringLiteral("slave %1 is polled with function %2 but configured for %3")
          .arg(r.slave)
          .arg(hexDigits(byteAt(r.request, rtu::kFunctionCode)),
               hexDigits(r.configured.functionCode));
    case Verdict::StartDiffers:
      return QStringLiteral("slave %1 expects register 0x%2, the poll asks for 0x%3")
          .arg(r.slave)
          .arg(hexDigits(r.configured.startRegister, 4),
               hexDigits(byteAt(r.request, rtu::kStartHi) * 256u + byteAt(r.request, rtu::kStartLo),
                         4));
    case Verdict::CountDiffers:
      return QStringLiteral("slave %1 expects %2, the poll asks for %3")
          .arg(r.slave)
          .arg(registers(r.configured.registerCount), QString::number(count));
    case Verdict::NoValueChosen:
      return QStringLiteral("slave %1 has a value list with no entry chosen").arg(r.slave);
    default:
      return {};
  }
}

}  // namespace vantor
