#pragma once

// Bench scenarios: the bench controls of every simulated slave (the value it answers with, a
// fault, a reply delay, a sweep) in one file, so that a set-up made in the window can be opened
// again, or served by vantor-cli on a computer without a desktop. A scenario file (".vbench")
// is JSON, each control in the text the matching vantor-cli option takes:
//
//   {"vantor-bench": 1, "module": "2004",
//    "slaves": {"1": {"typed": "-12.5", "fault": "exception:6/5", "delay": "50-150"},
//               "2": {"ramp": "0:100:10"}, "3": {"value": "0x1234"}}}
//
// A slave or a control left out is off.

#include "core/simulator/Faults.h"
#include "core/simulator/SlaveTable.h"
#include "core/simulator/Sweep.h"
#include "core/simulator/TypedValue.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <map>
#include <optional>

namespace vantor {

inline constexpr int kBenchVersion = 1;
inline constexpr const char* kBenchSuffix = "vbench";

// A slave's controls, in the order a file writes them.
enum class BenchKey { Typed, Value, Fault, Delay, Ramp, Random };
inline constexpr std::array<BenchKey, 6> kBenchKeys{BenchKey::Typed, BenchKey::Value,
                                                    BenchKey::Fault, BenchKey::Delay,
                                                    BenchKey::Ramp,  BenchKey::Random};
// Its name in a file: "typed"; the vantor-cli option is "--" and the name.
const char* benchKeyName(BenchKey key);

// One slave's controls as texts; a control that is off has no entry.
using BenchTexts = std::map<BenchKey, QString>;

// What a slave's controls set.
struct SlaveBench {
  std::optional<std::uint32_t> raw;  // the value its lists hold (typed or value)
  Fault fault;                       // fault: kind, exception code, one poll in N; delay: bounds
  std::optional<Sweep> sweep;        // ramp or random
};
using BenchControls = std::array<SlaveBench, kSlaveCount>;

// A register value as --value gives it: decimal or 0x-prefixed hexadecimal, at most 32 bits.
std::optional<quint32> parseRegisterValue(const QString& text);

// Takes `text` in as control `key` of slave `slave` (1..4) of `table` (its data type gives typed
// values and sweeps their meaning), over what `into` held. Why it cannot, as vantor-cli says it
// after the option and its text; empty when taken.
QString takeBenchControl(BenchKey key, const QString& text, const SlaveTable& table, int slave,
                         SlaveBench& into);

// The texts of controls that are on, as a file and the command line write them. Each is empty
// for a control that is off. A delay on one poll in N with no fault is written "none/N".
QString valueText(std::uint32_t raw);
QString faultText(const Fault& fault);
QString delayText(const Fault& fault);
// The sweep's control (Ramp or Random) and its text, by the slave's data type.
std::pair<BenchKey, QString> sweepText(const Sweep& sweep, TypedFormat format);
// A slave's value as the window holds it: Typed with the text in its box when that text stands
// for `raw` (what its lists hold), else Value; nothing for 0 with nothing typed.
std::optional<std::pair<BenchKey, QString>> valueControl(const QString& typed, std::uint32_t raw,
                                                         TypedFormat format);

struct BenchScenario {
  QString module;  // "1602" or "2004"
  std::array<BenchTexts, kSlaveCount> slaves;
  // What the texts set on the slave table the scenario was read for.
  BenchControls controls;
};

struct BenchRead {
  std::optional<BenchScenario> scenario;
  // Why the file is refused: a sentence naming the file and what is wrong in it.
  QString error;
};

// Reads the scenario at `path` for `module`'s slaves as `table` has them. Refused: a file that
// cannot be read or is no scenario of this version, one for the other module, one that names a
// slave the table does not enable or a control that does not take its text.
BenchRead readBenchScenario(const QString& path, const QString& module, const SlaveTable& table);
// The same for a scenario's bytes, read from the file `fileName`, which the refusal names.
BenchRead parseBenchScenario(const QByteArray& bytes, const QString& fileName,
                             const QString& module, const SlaveTable& table);

// The file for `slaves` of `module`: version 1, only the controls that are on, in a fixed order.
QByteArray benchScenarioBytes(const QString& module,
                              const std::array<BenchTexts, kSlaveCount>& slaves);
// Writes it to `path` in one replacement; false with a sentence in `error` when it cannot.
bool writeBenchScenario(const QString& path, const QString& module,
                        const std::array<BenchTexts, kSlaveCount>& slaves, QString* error);

}  // namespace vantor
