#pragma once

// The simulated slaves' answer to what the port read: a pure function from the received
// bytes, the slave table and the chosen values to a verdict and the reply bytes.

#include "core/modbus/Crc16.h"
#include "core/simulator/RegisterMap.h"
#include "core/simulator/SlaveTable.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace vantor {

// A slave's value lists as chosen: element 0 the low byte, 1 the high byte, 2 the third byte
// of a two-register value (0x00..0x0F); nothing where a list has no entry chosen.
using ValueLists = std::array<std::optional<std::uint8_t>, kValueListsPerSlave>;
using ChosenValues = std::array<ValueLists, kSlaveCount>;

// The entries of the lists for a raw register value (the third byte kept to 0x00..0x0F), and
// the raw value the lists stand for in a slave of `registerCount` registers (nothing while a
// list it needs has no entry).
ValueLists valueListsOf(std::uint32_t raw);
std::optional<std::uint32_t> rawOfLists(const ValueLists& lists, int registerCount);

enum class Verdict {
  Fragment,         // fewer bytes than a request: nothing to judge
  CrcError,         // the check value does not match the bytes before it
  Answered,         // a simulated slave answers with `reply`
  NoValueChosen,    // the slave matches, but one of its value lists has no entry chosen
  NoSuchAddress,    // valid, but no enabled slave has the poll's address
  FunctionDiffers,  // the slave with that address is configured for the other function code
  StartDiffers,     // ... for another start register
  CountDiffers,     // ... for another register count
  // No slave's poll, but a valid read answered because every poll is: `reply` holds the
  // registers (or exception 02 for a read past register 0xFFFF); no slave is behind it.
  AnsweredAll,
};

struct Response {
  Verdict verdict = Verdict::Fragment;
  QByteArray request;  // the eight bytes judged
  QByteArray reply;    // empty when nothing is to be sent
  // The slave that answered, or the one with the poll's address whose configuration the poll
  // missed (1 to 4); 0 for none.
  int slave = 0;
  Slave configured;     // that slave as configured
  CheckValue expected;  // the check value the request should have ended with
  // What a fault did to the reply, or that every poll is answered, in words; empty without.
  QString note;
  // A fault changed the reply or kept it back: whatever goes out carries no value the module
  // can read. (A delay alone does not count: the reply is the same, only later.)
  bool altered = false;
};

// Judges the first eight of `received` (the rest is not a request of its own: a slave reads
// one request per turn of the line). The first enabled slave whose address, function code,
// start register and register count all match answers; a slave never answers a poll of
// another.
//
// With `answerAll`, every other valid read (address 1..247, function 03 or 04, 1 to 125
// registers) is answered too, register by register: from an enabled slave with the poll's
// address and function code that holds it, else from `answerAll`, else 0. A read past register
// 0xFFFF gets exception 02 (illegal data address), as from a slave whose registers end there.
Response respond(QByteArrayView received, const SlaveTable& table, const ChosenValues& values,
                 const RegisterMap* answerAll = nullptr);

// "CRC Validated" or "CRC Error"; empty for a fragment.
QString statusText(Verdict verdict);

// Why a valid request got no reply, in plain words; empty when it was answered or invalid.
QString reasonText(const Response& response);

}  // namespace vantor
