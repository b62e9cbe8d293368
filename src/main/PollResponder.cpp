#include "main/PollResponder.h"

#include "modbus/RtuFrame.h"
#include "modbus/modcrc16.h"

#include <algorithm>

namespace vantor {

QString formatBytes(const QByteArray& bytes) {
  if (bytes.isEmpty()) return {};
  return QString::fromLatin1(bytes.toHex(' ').toUpper()) + u' ';
}

PollResponder::PollResponder(modVar& vars, ValueSource values)
    : vars_(vars), values_(std::move(values)) {}

QByteArray PollResponder::HandleCommEvent(const QByteArray& rx) {
  // The port reports a read once eight bytes wait; anything shorter is a fragment, not a
  // request, and must not disturb what the last request left on show.
  if (rx.size() < rtu::kRequestLength) return {};

  display_ = {};
  reply_.clear();
  vars_.gRxData = rx;
  const QByteArray request = rx.first(rtu::kRequestLength);
  std::transform(request.begin(), request.end(), vars_.gFrame.begin(),
                 [](char c) { return static_cast<std::uint8_t>(c); });
  display_.rxData = formatBytes(request);
  CheckRequest(rtu::kRequestBody);
  return reply_;
}

bool PollResponder::CheckRequest(int count) {
  display_.status.clear();
  const CheckValue expected = CRC16(vars_.gFrame, count);
  const auto received = [this](int i) { return static_cast<std::uint8_t>(vars_.gRxData.at(i)); };
  if (received(count) != expected.lo || received(count + 1) != expected.hi) {
    display_.status = QStringLiteral("CRC Error");
    return false;
  }
  display_.status = QStringLiteral("CRC Validated");

  // Match against the request as received: the reply is built over gFrame, and a slave must
  // never answer another slave's reply. Only the first matching slave answers.
  std::array<std::uint8_t, rtu::kRequestBody> asReceived{};
  std::copy_n(vars_.gFrame.begin(), asReceived.size(), asReceived.begin());
  for (int slave = 1; slave <= kSlaveCount; ++slave) {
    const SlaveRequest& req = vars_.slaveReq(slave);
    if (req.enabled && req.bytes == asReceived) {
      BuildReply(slave);
      break;
    }
  }
  return true;
}

void PollResponder::BuildReply(int slave) {
  if (slave < 1 || slave > kSlaveCount) return;
  const bool oneRegister = vars_.slaveReq(slave).bytes[rtu::kCountLo] == 1;
  const auto low = values_(slave, 0);
  const auto high = values_(slave, 1);
  const auto third = oneRegister ? std::optional<std::uint8_t>(0) : values_(slave, 2);
  // A value list without a chosen entry has no byte to send.
  if (!low || !high || !third) return;

  auto& frame = vars_.gFrame;
  int body = rtu::kOneRegisterReplyBody;
  if (oneRegister) {
    frame[rtu::kByteCount] = 2;
    frame[rtu::kReplyData] = *high;
    frame[rtu::kReplyData + 1] = *low;
  } else {
    body = rtu::kTwoRegisterReplyBody;
    frame[rtu::kByteCount] = 4;
    frame[rtu::kReplyData] = 0;
    frame[rtu::kReplyData + 1] = *third;
    frame[rtu::kReplyData + 2] = *high;
    frame[rtu::kReplyData + 3] = *low;
  }
  const CheckValue check = CRC16(frame, body);
  frame[static_cast<std::size_t>(body)] = check.lo;
  frame[static_cast<std::size_t>(body) + 1] = check.hi;
  SendReply(body + 2);
}

void PollResponder::SendReply(int length) {
  reply_ = QByteArray(reinterpret_cast<const char*>(vars_.gFrame.data()), length);
  display_.txData = formatBytes(reply_);
}

}  // namespace vantor
