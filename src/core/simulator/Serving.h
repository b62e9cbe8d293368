#pragma once

// What a port's serving thread serves from, what it keeps between polls, and what it reports.
// The window (or vantor-cli) hands over a ServePlan as a whole; the serving thread judges each
// request against the plan in force when the request came, so that a change applies from the
// next poll and never half-way through one.

#include "core/simulator/Faults.h"
#include "core/simulator/RegisterMap.h"
#include "core/simulator/Responder.h"
#include "core/simulator/SlaveTable.h"
#include "core/simulator/Sweep.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace vantor {

using Sweeps = std::array<std::optional<Sweep>, kSlaveCount>;

// Everything the simulated slaves answer from. Immutable once handed over.
struct ServePlan {
  SlaveTable table{};
  ChosenValues values{};  // what each slave answers when no sweep runs on it
  Faults faults{};
  Sweeps sweeps{};  // where set, the value moves on at every reply
  bool dropEcho = true;
  // Answer every valid read, not only the slaves' own polls (Responder.h): registers no slave
  // holds from `registerMap`, else 0.
  bool answerAll = false;
  RegisterMap registerMap;
};

// What the slaves do with one request.
struct Decision {
  Response response;  // the reply as a fault left it, with the fault's note
  int delayMs = 0;    // the reply goes out this long after the request
  // The raw value a slave that answers carries in its reply (as chosen or swept).
  std::optional<std::uint32_t> value;
};

// The slaves' memory between polls: where each sweep has got to and how many polls each slave
// has answered (for faults on one poll in N). Owned by the serving thread alone.
class ServingState {
 public:
  // Takes `plan` for the polls to come. A sweep that is unchanged runs on where it was; a
  // changed fault counts its polls afresh.
  void use(std::shared_ptr<const ServePlan> plan);
  const ServePlan& plan() const { return *plan_; }

  // Judges `request` (8 bytes) and moves the state on as a reply is decided.
  Decision judge(QByteArrayView request);

 private:
  std::shared_ptr<const ServePlan> plan_ = std::make_shared<const ServePlan>();
  Sweeps sweeps_{};
  std::array<qint64, kSlaveCount> polls_{};
};

// One judged request and what went out for it, as the byte displays and vantor-cli show it.
struct Exchange {
  QDateTime time;  // the request read, UTC
  QByteArray request;
  Verdict verdict = Verdict::Fragment;
  int slave = 0;
  QByteArray sent;        // what of the reply the port took; empty when nothing was sent
  QString note;           // what a fault did to the reply
  QString reason;         // why a valid poll got no reply (reasonText); empty otherwise
  bool altered = false;   // a fault changed the reply or kept it back (Response::altered)
  QString sendError;      // why not all of the reply left; empty when it did
  double latencyUs = -1;  // from the request read to the reply written; -1 without a reply
  std::optional<std::uint32_t> value;  // the raw value the reply carried
};

}  // namespace vantor
