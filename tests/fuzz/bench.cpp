// The bench scenario reader on arbitrary files, for both modules and slaves of every data
// type and number of decimal places:
// - a scenario that is read, written again from its texts and read, sets the same controls
//   and keeps the same texts;
// - written from the controls it set, as the window writes what its controls hold, and read,
//   it sets the same controls.

#include "Require.h"

#include "core/simulator/BenchScenario.h"

using namespace vantor;
using fuzz::require;

namespace {

const QString kFile = QStringLiteral("fuzz.vbench");

// The slaves of `module`, their data types and decimal places turned by `turn`.
SlaveTable tableFor(const QString& module, int turn) {
  SlaveTable table;
  for (int k = 0; k < kSlaveCount; ++k) {
    Slave& s = table[std::size_t(k)];
    s.enabled = k == 0 || module == u"2004";
    s.address = std::uint8_t(k + 1);
    s.functionCode = 3;
    s.dataType = DataType((k + turn) % int(kDataTypes.size()));
    s.registerCount = std::uint8_t(registerCount(s.dataType));
    s.decimals = (k + 2 * turn) % 6;
  }
  return table;
}

// Whether two reads set the same; with `loosely`, a control that does nothing equals one
// that is off (value 0, a fault that is not active).
bool sameControls(const BenchControls& a, const BenchControls& b, bool loosely) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    const SlaveBench& x = a[i];
    const SlaveBench& y = b[i];
    const bool sameRaw = loosely ? x.raw.value_or(0) == y.raw.value_or(0) : x.raw == y.raw;
    const bool sameFault =
        x.fault == y.fault || (loosely && !x.fault.active() && !y.fault.active());
    const bool sameSweep =
        x.sweep.has_value() == y.sweep.has_value() && (!x.sweep || x.sweep->sameAs(*y.sweep));
    if (!sameRaw || !sameFault || !sameSweep) return false;
  }
  return true;
}

// What the window writes for `controls`: the typed text where it still stands for the value.
std::array<BenchTexts, kSlaveCount> textsOf(const BenchScenario& read, const SlaveTable& table) {
  std::array<BenchTexts, kSlaveCount> texts;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const SlaveBench& c = read.controls[i];
    const TypedFormat format{table[i].dataType, table[i].decimals};
    BenchTexts& t = texts[i];
    const auto typed = read.slaves[i].find(BenchKey::Typed);
    if (c.raw)
      if (const auto value = valueControl(typed == read.slaves[i].end() ? QString() : typed->second,
                                          *c.raw, format))
        t[value->first] = value->second;
    t[BenchKey::Fault] = faultText(c.fault);
    t[BenchKey::Delay] = delayText(c.fault);
    if (c.sweep) {
      const auto [key, text] = sweepText(*c.sweep, format);
      t[key] = text;
    }
  }
  return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  for (const QString& module : {QStringLiteral("1602"), QStringLiteral("2004")}) {
    for (int turn = 0; turn < int(kDataTypes.size()); ++turn) {
      const SlaveTable table = tableFor(module, turn);
      const BenchRead read = parseBenchScenario(bytes, kFile, module, table);
      if (!read.scenario) {
        require(read.error.startsWith(kFile), "a refusal names the file");
        continue;
      }

      const BenchRead again = parseBenchScenario(benchScenarioBytes(module, read.scenario->slaves),
                                                 kFile, module, table);
      require(again.scenario && again.scenario->slaves == read.scenario->slaves &&
                  sameControls(again.scenario->controls, read.scenario->controls, false),
              "written again from its texts, a scenario reads the same");

      const BenchRead fromControls = parseBenchScenario(
          benchScenarioBytes(module, textsOf(*read.scenario, table)), kFile, module, table);
      require(fromControls.scenario &&
                  sameControls(fromControls.scenario->controls, read.scenario->controls, true),
              "written from its controls, a scenario sets the same controls");
    }
  }
  return 0;
}
