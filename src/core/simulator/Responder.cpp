#include "core/simulator/Responder.h"

#include "core/modbus/HexText.h"
#include "core/modbus/RtuFrame.h"

#include <span>
#include <vector>

namespace vantor {

namespace {

std::uint8_t byteAt(QByteArrayView bytes, int i) {
  return static_cast<std::uint8_t>(bytes[i]);
}

// A read reply to `request`: address and function code echoed, the byte count, each register
// high byte first, the check value.
QByteArray readReply(QByteArrayView request, std::span<const std::uint16_t> registers) {
  QByteArray reply = request.first(rtu::kByteCount).toByteArray();
  reply.append(char(2 * registers.size()));
  for (const std::uint16_t r : registers) reply.append(char(r >> 8)).append(char(r & 0xFF));
  return withCheckValue(reply);
}

// The registers `slave` answers with, in the order of its reply: its value, or for a
// two-register value the high part (0x0000..0x000F) then the low one. Nothing while a needed
// value list has no entry chosen.
std::optional<std::vector<std::uint16_t>> registersOf(const Slave& slave,
                                                      const ValueLists& values) {
  const int count = slave.registerCount == 1 ? 1 : 2;
  const auto raw = rawOfLists(values, count);
  if (!raw) return std::nullopt;
  if (count == 1) return std::vector{std::uint16_t(*raw)};
  return std::vector{std::uint16_t(*raw >> 16), std::uint16_t(*raw & 0xFFFF)};
}

// Register `key` when every poll is answered: the first enabled slave with the poll's address
// and function code whose registers cover it (a slave with no value chosen covers nothing),
// else the map, else 0.
std::uint16_t registerOf(const RegisterKey& key, const SlaveTable& table,
                         const ChosenValues& values, const RegisterMap& map) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    const Slave& s = table[i];
    const int offset = int(key.reg) - int(s.startRegister);
    if (!s.enabled || s.address != key.slave || s.functionCode != key.function || offset < 0)
      continue;
    const auto registers = registersOf(s, values[i]);
    if (registers && offset < int(registers->size())) return (*registers)[std::size_t(offset)];
  }
  const auto found = map.find(key);
  return found == map.end() ? 0 : found->second;
}

// The answer to a valid read no slave's poll matches: nothing for a request no slave may
// answer (a broadcast, a reserved address, another function, a count Modbus forbids).
std::optional<QByteArray> answerAll(QByteArrayView request, const SlaveTable& table,
                                    const ChosenValues& values, const RegisterMap& map) {
  constexpr int kMostRegisters = 125;
  constexpr int kRegisterSpace = 0x10000;
  constexpr char kIllegalDataAddress = 2;
  const std::uint8_t address = byteAt(request, rtu::kSlaveAddress);
  const std::uint8_t function = byteAt(request, rtu::kFunctionCode);
  const int start = byteAt(request, rtu::kStartHi) * 256 + byteAt(request, rtu::kStartLo);
  const int count = byteAt(request, rtu::kCountHi) * 256 + byteAt(request, rtu::kCountLo);
  if (address < 1 || address > rtu::kHighestAddress ||
      (function != rtu::kReadHolding && function != rtu::kReadInput) || count < 1 ||
      count > kMostRegisters)
    return std::nullopt;
  if (start + count > kRegisterSpace)
    return withCheckValue(request.first(rtu::kFunctionCode).toByteArray() +
                          char(function | rtu::kExceptionBit) + kIllegalDataAddress);
  std::vector<std::uint16_t> registers;
  for (int r = start; r < start + count; ++r)
    registers.push_back(registerOf({address, function, std::uint16_t(r)}, table, values, map));
  return readReply(request, registers);
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

namespace {

// A valid request no slave answered, answered for none: from the slaves' registers, the map or
// 0, or with exception 02 when it reads past the last register.
void answerEveryPoll(Response& r, QByteArrayView request, const SlaveTable& table,
                     const ChosenValues& values, const RegisterMap& map) {
  const auto reply = answerAll(request, table, values, map);
  if (!reply) return;
  r.verdict = Verdict::AnsweredAll;
  r.reply = *reply;
  r.slave = 0;
  r.configured = {};
  const bool exception = byteAt(r.reply, rtu::kFunctionCode) & rtu::kExceptionBit;
  r.note = exception ? QStringLiteral(
                           "answer every poll: exception 02 (illegal data address), "
                           "the registers run past 0xFFFF")
                     : QStringLiteral("answer every poll");
}

}  // namespace

Response respond(QByteArrayView received, const SlaveTable& table, const ChosenValues& values,
                 const RegisterMap* answerAllFrom) {
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
    const auto registers = registersOf(slave, values[std::size_t(i)]);
    r.verdict = registers ? Verdict::Answered : Verdict::NoValueChosen;
    r.reply = registers ? readReply(request, *registers) : QByteArray();
    return r;
  }
  if (answerAllFrom) answerEveryPoll(r, request, table, values, *answerAllFrom);
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
      return QStringLiteral("%1 is polled with function %2 but configured for %3")
          .arg(slaveName(byteAt(r.request, rtu::kSlaveAddress), r.slave),
               hexDigits(byteAt(r.request, rtu::kFunctionCode)),
               hexDigits(r.configured.functionCode));
    case Verdict::StartDiffers:
      return QStringLiteral("%1 expects register 0x%2, the poll asks for 0x%3")
          .arg(slaveName(byteAt(r.request, rtu::kSlaveAddress), r.slave),
               hexDigits(r.configured.startRegister, 4),
               hexDigits(byteAt(r.request, rtu::kStartHi) * 256u + byteAt(r.request, rtu::kStartLo),
                         4));
    case Verdict::CountDiffers:
      return QStringLiteral("%1 expects %2, the poll asks for %3")
          .arg(slaveName(byteAt(r.request, rtu::kSlaveAddress), r.slave),
               registers(r.configured.registerCount), QString::number(count));
    case Verdict::NoValueChosen:
      return QStringLiteral("%1 has a value list with no entry chosen")
          .arg(slaveName(byteAt(r.request, rtu::kSlaveAddress), r.slave));
    default:
      return {};
  }
}

}  // namespace vantor
