#pragma once

// Faults a simulated slave can be told to make, so that a module can be tried against slaves
// that are slow, silent or wrong. They change only a reply the slave would send anyway.

#include "core/modbus/RtuFrame.h"
#include "core/simulator/Responder.h"

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace vantor {

enum class FaultKind {
  None,
  Silent,        // no reply
  Exception,     // an exception reply with `exceptionCode`
  BadCrc,        // the reply with a broken check value
  WrongAddress,  // the reply from the poll's address plus one (247 wraps to 1)
};

// The exception codes a fault offers, with what they mean.
using ExceptionCode = rtu::ExceptionCode;
inline constexpr std::array<ExceptionCode, 5> kExceptionCodes{{{1, rtu::exceptionMeaning(1)},
                                                               {2, rtu::exceptionMeaning(2)},
                                                               {3, rtu::exceptionMeaning(3)},
                                                               {4, rtu::exceptionMeaning(4)},
                                                               {6, rtu::exceptionMeaning(6)}}};

struct Fault {
  FaultKind kind = FaultKind::None;
  int exceptionCode = 6;
  // The reply goes out this long after the request, fixed (min == max) or random between.
  int delayMinMs = 0;
  int delayMaxMs = 0;
  // Every poll (1), or one poll in N: the Nth, the 2Nth, ...
  int oneIn = 1;

  bool active() const { return kind != FaultKind::None || delayMaxMs > 0; }
  friend bool operator==(const Fault&, const Fault&) = default;
};
using Faults = std::array<Fault, kSlaveCount>;

// Makes `response` (a request a slave answers) what `fault` says: the reply changed, and a
// note of what the fault did. The delay is the caller's to keep.
void applyFault(Response& response, const Fault& fault);

// The fault as the slave's part of the window shows it while active, e.g. "Fault: exception
// 06 (server device busy), one poll in 5; reply delayed 50-80 ms"; empty when none is on.
QString describeFault(const Fault& fault);

// The fault a command line gives: "silent", "exception:CODE", "bad-crc" or "wrong-address",
// optionally followed by "/N" for one poll in N; "none/N" puts a delay alone on one poll in N.
// Nothing for anything else.
std::optional<Fault> parseFault(QStringView text);
// A delay as a command line gives it: "MS" or "MIN-MAX", in milliseconds.
std::optional<std::pair<int, int>> parseDelay(QStringView text);

}  // namespace vantor
