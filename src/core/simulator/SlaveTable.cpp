#include "core/simulator/SlaveTable.h"

#include <utility>

namespace vantor {

namespace {

// Data-type list positions 0 to 2 are the 16-bit types; from 3 on they take two registers.
constexpr long long kFirstTwoRegisterType = 3;
constexpr std::uint8_t kReadHolding = 3;
constexpr std::uint8_t kReadInput = 4;

// A plain decimal whole number with an optional sign; blanks around it are allowed.
std::optional<long long> wholeNumber(const QString& text) {
  const QString t = text.trimmed();
  const bool negative = t.startsWith(u'-');
  const qsizetype first = (negative || t.startsWith(u'+')) ? 1 : 0;
  const qsizetype digits = t.size() - first;
  if (digits < 1 || digits > 18) return std::nullopt;
  long long value = 0;
  for (qsizetype i = first; i < t.size(); ++i) {
    const char16_t c = t.at(i).unicode();
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
  }
  return negative ? -value : value;
}

// Runs the load steps for one settings section, recording views and the first failure.
class Loader {
 public:
  Loader(const IniFile& ini, const SlaveTable& previous, QString section, bool numberedKeys)
      : ini_(ini), section_(std::move(section)), numbered_(numberedKeys) {
    result_.table = previous;
  }

  bool address(int slave) {
    Slave& s = slaveOf(slave);
    // From here until its register step completes, this slave is half new.
    s.enabled = false;
    const QString key = keyOf("Saddr", slave);
    const QString text = ini_.read(section_, key);
    view(slave).address = text;
    const auto value = convert(key, text, true);
    if (!value) return false;
    s.address = static_cast<std::uint8_t>(*value);
    return true;
  }

  bool lists(int slave) {
    view(slave).listsReset = true;
    return true;
  }

  bool registers(int slave) {
    Slave& s = slaveOf(slave);
    const auto high = read("RHigh", slave, true);
    if (!high) return false;
    const auto low = read("RLow", slave, true);
    if (!low) return false;
    s.startRegister = static_cast<std::uint16_t>(*high * 256 + *low);
    const long long registerNumber = *high * 256 + *low + 1;

    const auto function = read("Fcode", slave, false);
    if (!function) return false;
    const bool holding = *function == kReadHolding;
    s.functionCode = holding ? kReadHolding : kReadInput;
    const QString reference =
        QString(holding ? u'4' : u'3') + QString::number(registerNumber).rightJustified(4, u'0');

    const auto type = read("DT", slave, false);
    if (!type) return false;
    SlaveView& v = view(slave);
    if (*type < kFirstTwoRegisterType) {
      v.firstReg = QStringLiteral("n / a");
      v.secondReg = reference;
      s.registerCount = 1;
    } else {
      v.firstReg = reference;
      v.secondReg = QString::number(reference.toLongLong() + 1);
      s.registerCount = 2;
    }
    s.enabled = true;
    return true;
  }

  SlaveTableLoad& result() { return result_; }

 private:
  SlaveView& view(int slave) { return result_.views.at(static_cast<std::size_t>(slave - 1)); }
  Slave& slaveOf(int slave) { return result_.table.at(static_cast<std::size_t>(slave - 1)); }

  QString keyOf(const char* base, int slave) const {
    return numbered_ ? QString::fromLatin1(base) + QString::number(slave)
                     : QString::fromLatin1(base);
  }

  std::optional<long long> read(const char* base, int slave, bool isByte) {
    const QString key = keyOf(base, slave);
    return convert(key, ini_.read(section_, key), isByte);
  }

  std::optional<long long> convert(const QString& key, const QString& text, bool isByte) {
    const auto value = wholeNumber(text);
    if (value && (!isByte || (*value >= 0 && *value <= 255))) return value;
    const QString where =
        QStringLiteral("Key %1 in section [%2] of %3").arg(key, section_, ini_.filePath());
    const QString what =
        text.trimmed().isEmpty()
            ? QStringLiteral("is empty or missing")
            : QStringLiteral("holds \"%1\", which is not a whole number%2")
                  .arg(text, isByte ? QStringLiteral(" from 0 to 255") : QString());
    result_.error = QStringLiteral("%1 %2. Use Configure LCD to create the module's configuration.")
                        .arg(where, what);
    return std::nullopt;
  }

  const IniFile& ini_;
  QString section_;
  bool numbered_;
  SlaveTableLoad result_;
};

}  // namespace

QStringList valueListEntries(int element) {
  const int count = element == 2 ? 16 : (element == 0 || element == 1) ? 256 : 0;
  QStringList entries;
  entries.reserve(count);
  for (int value = 0; value < count; ++value)
    entries << QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(2, u'0');
  return entries;
}

SlaveTableLoad loadSlaveTable1602(const IniFile& ini, const SlaveTable& previous) {
  Loader load(ini, previous, QStringLiteral("Cfg1602"), false);
  if (load.address(1) && load.lists(1) && load.registers(1)) {
    for (std::size_t i = 1; i < kSlaveCount; ++i) load.result().table[i].enabled = false;
    load.result().disableOthers = true;
  }
  return std::move(load.result());
}

SlaveTableLoad loadSlaveTable2004(const IniFile& ini, const SlaveTable& previous) {
  Loader load(ini, previous, QStringLiteral("Cfg2004"), true);
  const auto forEachSlave = [](auto step) {
    for (int slave = 1; slave <= kSlaveCount; ++slave)
      if (!step(slave)) return false;
    return true;
  };
  if (forEachSlave([&](int n) { return load.address(n); }) &&
      forEachSlave([&](int n) { return load.lists(n); }))
    forEachSlave([&](int n) { return load.registers(n); });
  return std::move(load.result());
}

}  // namespace vantor
