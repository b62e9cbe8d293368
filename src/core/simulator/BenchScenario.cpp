#include "core/simulator/BenchScenario.h"

#include "core/io/ReplaceFile.h"
#include "core/modbus/HexText.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <tuple>

namespace vantor {

namespace {

// Anything larger is not a scenario someone wrote.
constexpr qint64 kMaxScenarioSize = 1024 * 1024;

const QString kVersionKey = QStringLiteral("vantor-bench");
const QString kModuleKey = QStringLiteral("module");
const QString kSlavesKey = QStringLiteral("slaves");

std::optional<BenchKey> benchKeyNamed(const QString& name) {
  for (const BenchKey key : kBenchKeys)
    if (name == QLatin1String(benchKeyName(key))) return key;
  return std::nullopt;
}

// `text` as a JSON string, quotes and escapes included.
QByteArray jsonString(const QString& text) {
  const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
  return array.mid(1, array.size() - 2);
}

// The controls of one slave of a scenario, checked and taken in; why not, empty when taken.
QString takeSlave(const QJsonValue& json, const SlaveTable& table, int slave, BenchTexts& texts,
                  SlaveBench& controls) {
  if (!json.isObject()) return QStringLiteral("give its controls as an object");
  const QJsonObject object = json.toObject();
  for (auto it = object.begin(); it != object.end(); ++it) {
    const auto key = benchKeyNamed(it.key());
    if (!key)
      return QStringLiteral(
                 "unknown control \"%1\"; give typed, value, fault, delay, ramp or random")
          .arg(it.key());
    if (!it.value().isString()) return QStringLiteral("give %1 as text in quotes").arg(it.key());
    texts[*key] = it.value().toString();
  }
  if (texts.count(BenchKey::Typed) && texts.count(BenchKey::Value))
    return QStringLiteral("give typed or value, not both");
  if (texts.count(BenchKey::Ramp) && texts.count(BenchKey::Random))
    return QStringLiteral("give ramp or random, not both");
  for (const auto& [key, text] : texts)
    if (const QString why = takeBenchControl(key, text, table, slave, controls); !why.isEmpty())
      return QStringLiteral("%1 \"%2\": %3").arg(QLatin1String(benchKeyName(key)), text, why);
  return {};
}

// Why the top level of a scenario is not one for `module`; empty when it is. The refusal
// follows the file's name.
QString headerRefusal(const QJsonObject& root, const QString& module) {
  for (const QString& key : root.keys())
    if (key != kVersionKey && key != kModuleKey && key != kSlavesKey)
      return QStringLiteral(": unknown entry \"%1\"; give vantor-bench, module and slaves.").arg(key);
  const QJsonValue version = root.value(kVersionKey);
  if (!version.isDouble())
    return QStringLiteral(" is not a bench scenario: it has no \"vantor-bench\" version.");
  if (version.toDouble() != kBenchVersion)
    return QStringLiteral(" is a bench scenario of version %1; this program reads version %2.")
        .arg(version.toDouble())
        .arg(kBenchVersion);
  const QString fileModule = root.value(kModuleKey).toString();
  if (fileModule != QLatin1String("1602") && fileModule != QLatin1String("2004"))
    return QStringLiteral(": give \"module\" as \"1602\" or \"2004\".");
  if (fileModule != module)
    return QStringLiteral(" is for the %1 module, not the %2 module.").arg(fileModule, module);
  const QJsonValue slaves = root.value(kSlavesKey);
  if (!slaves.isUndefined() && !slaves.isObject())
    return QStringLiteral(": give \"slaves\" as an object of slave numbers.");
  return {};
}

// The slaves of a scenario taken into `scenario`; why not, empty when taken.
QString takeSlaves(const QJsonObject& bySlave, const SlaveTable& table, BenchScenario& scenario) {
  for (auto it = bySlave.begin(); it != bySlave.end(); ++it) {
    int slave = 0;
    for (int n = 1; n <= kSlaveCount; ++n)
      if (it.key() == QString::number(n)) slave = n;
    if (slave == 0)
      return QStringLiteral(": there is no slave \"%1\"; give 1 to %2.")
          .arg(it.key())
          .arg(kSlaveCount);
    const auto i = std::size_t(slave - 1);
    if (!table[i].enabled)
      return QStringLiteral(": slave %1 is not configured for the %2 module.")
          .arg(slave)
          .arg(scenario.module);
    if (const QString why =
            takeSlave(it.value(), table, slave, scenario.slaves[i], scenario.controls[i]);
        !why.isEmpty())
      return QStringLiteral(": slave %1: %2").arg(slave).arg(why);
  }
  return {};
}

// The scenario in `bytes`; a refusal in `error` (the file's name is put before it).
std::optional<BenchScenario> parseScenario(const QByteArray& bytes, const QString& module,
                                           const SlaveTable& table, QString& error) {
  QJsonParseError parseError;
  const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
  if (parseError.error != QJsonParseError::NoError) {
    error = QStringLiteral(" is not a bench scenario: %1 at character %2.")
                .arg(parseError.errorString())
                .arg(parseError.offset);
    return std::nullopt;
  }
  if (!document.isObject()) {
    error = QStringLiteral(" is not a bench scenario: it holds no JSON object.");
    return std::nullopt;
  }
  const QJsonObject root = document.object();
  error = headerRefusal(root, module);
  if (!error.isEmpty()) return std::nullopt;
  BenchScenario scenario;
  scenario.module = module;
  error = takeSlaves(root.value(kSlavesKey).toObject(), table, scenario);
  if (!error.isEmpty()) return std::nullopt;
  return scenario;
}

// A ramp (FROM:TO:STEP) or random sweep (MIN:MAX) into `into`; why not, empty when taken.
QString takeSweep(bool ramp, const QString& text, TypedFormat format, SlaveBench& into) {
  const QStringList parts = text.split(u':');
  if (ramp && (parts.size() != 3 || parts[2].trimmed().isEmpty()))
    return QStringLiteral("give FROM:TO:STEP");
  if (!ramp && parts.size() != 2) return QStringLiteral("give MIN:MAX");
  QString why;
  auto sweep = typedSweep(parts[0], parts[1], ramp ? parts[2] : QString(), format, &why);
  if (!sweep) return why;
  into.sweep = sweep;
  return {};
}

}  // namespace

const char* benchKeyName(BenchKey key) {
  switch (key) {
    case BenchKey::Typed:
      return "typed";
    case BenchKey::Value:
      return "value";
    case BenchKey::Fault:
      return "fault";
    case BenchKey::Delay:
      return "delay";
    case BenchKey::Ramp:
      return "ramp";
    case BenchKey::Random:
      return "random";
  }
  return "";
}

QString valueText(std::uint32_t raw) {
  return QStringLiteral("0x") + hexDigits(raw, raw > kMaxOneRegister ? 5 : 4);
}

std::optional<quint32> parseRegisterValue(const QString& text) {
  bool ok = false;
  const QString t = text.trimmed();
  const quint64 v = t.startsWith(u"0x", Qt::CaseInsensitive) ? t.mid(2).toULongLong(&ok, 16)
                                                             : t.toULongLong(&ok, 10);
  if (!ok || t.startsWith(u'+') || v > 0xFFFFFFFFULL) return std::nullopt;
  return quint32(v);
}

QString takeBenchControl(BenchKey key, const QString& text, const SlaveTable& table, int slave,
                         SlaveBench& into) {
  const Slave& s = table[std::size_t(slave - 1)];
  const TypedFormat format{s.dataType, s.decimals};
  switch (key) {
    case BenchKey::Typed: {
      const TypedParse parsed = encodeTyped(text, format);
      if (!parsed.raw) return parsed.refusal;
      into.raw = parsed.raw;
      return {};
    }
    case BenchKey::Value: {
      const auto value = parseRegisterValue(text);
      if (!value) return QStringLiteral("give a number, decimal or 0x-prefixed hexadecimal");
      const quint32 limit = s.registerCount == 2 ? kMaxTwoRegisters : kMaxOneRegister;
      if (*value > limit)
        return QStringLiteral("slave %1 answers at most %2").arg(slave).arg(valueText(limit));
      into.raw = value;
      return {};
    }
    case BenchKey::Fault: {
      const auto fault = parseFault(text);
      if (!fault)
        return QStringLiteral(
            "give silent, exception:CODE (1, 2, 3, 4 or 6), bad-crc or wrong-address, "
            "optionally followed by /N");
      into.fault.kind = fault->kind;
      into.fault.exceptionCode = fault->exceptionCode;
      into.fault.oneIn = fault->oneIn;
      return {};
    }
    case BenchKey::Delay: {
      const auto delay = parseDelay(text);
      if (!delay) return QStringLiteral("give MS or MIN-MAX, 0 to 60000 milliseconds");
      std::tie(into.fault.delayMinMs, into.fault.delayMaxMs) = *delay;
      return {};
    }
    case BenchKey::Ramp:
    case BenchKey::Random:
      return takeSweep(key == BenchKey::Ramp, text, format, into);
  }
  return {};
}

QString faultText(const Fault& f) {
  QString text;
  switch (f.kind) {
    case FaultKind::None:
      // Only a delay on one poll in N needs the word.
      if (f.delayMaxMs == 0 || f.oneIn <= 1) return {};
      text = QStringLiteral("none");
      break;
    case FaultKind::Silent:
      text = QStringLiteral("silent");
      break;
    case FaultKind::Exception:
      text = QStringLiteral("exception:%1").arg(f.exceptionCode);
      break;
    case FaultKind::BadCrc:
      text = QStringLiteral("bad-crc");
      break;
    case FaultKind::WrongAddress:
      text = QStringLiteral("wrong-address");
      break;
  }
  if (f.oneIn > 1) text += QStringLiteral("/%1").arg(f.oneIn);
  return text;
}

QString delayText(const Fault& f) {
  if (f.delayMaxMs == 0) return {};
  if (f.delayMinMs == f.delayMaxMs) return QString::number(f.delayMaxMs);
  return QStringLiteral("%1-%2").arg(f.delayMinMs).arg(f.delayMaxMs);
}

std::pair<BenchKey, QString> sweepText(const Sweep& sweep, TypedFormat format) {
  QString text = typedText(sweep.from(), format) + u':' + typedText(sweep.to(), format);
  if (!sweep.isRamp()) return {BenchKey::Random, text};
  return {BenchKey::Ramp, text + u':' + typedText(sweep.step(), format)};
}

std::optional<std::pair<BenchKey, QString>> valueControl(const QString& typed, std::uint32_t raw,
                                                         TypedFormat format) {
  const QString text = typed.trimmed();
  if (!text.isEmpty() && encodeTyped(text, format).raw == raw) return {{BenchKey::Typed, text}};
  if (raw == 0) return std::nullopt;
  return {{BenchKey::Value, valueText(raw)}};
}

BenchRead readBenchScenario(const QString& path, const QString& module, const SlaveTable& table) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return {std::nullopt, QStringLiteral("%1 could not be read: %2").arg(path, file.errorString())};
  if (file.size() > kMaxScenarioSize)
    return {std::nullopt, QStringLiteral("%1 is too large to be a bench scenario.").arg(path)};
  return parseBenchScenario(file.readAll(), path, module, table);
}

BenchRead parseBenchScenario(const QByteArray& bytes, const QString& fileName,
                             const QString& module, const SlaveTable& table) {
  QString error;
  auto scenario = parseScenario(bytes, module, table, error);
  if (!scenario) return {std::nullopt, fileName + error};
  return {std::move(scenario), {}};
}

QByteArray benchScenarioBytes(const QString& module,
                              const std::array<BenchTexts, kSlaveCount>& slaves) {
  QByteArrayList lines;
  for (int slave = 1; slave <= kSlaveCount; ++slave) {
    QByteArrayList entries;
    const BenchTexts& texts = slaves[std::size_t(slave - 1)];
    for (const BenchKey key : kBenchKeys)
      if (const auto it = texts.find(key); it != texts.end() && !it->second.isEmpty())
        entries << jsonString(QLatin1String(benchKeyName(key))) + ": " + jsonString(it->second);
    if (!entries.isEmpty())
      lines << "    \"" + QByteArray::number(slave) + "\": {" + entries.join(", ") + '}';
  }
  QByteArray bytes = "{\n  \"vantor-bench\": " + QByteArray::number(kBenchVersion) +
                     ",\n  \"module\": " + jsonString(module) + ",\n  \"slaves\": {";
  if (!lines.isEmpty()) bytes += '\n' + lines.join(",\n") + "\n  ";
  return bytes + "}\n}\n";
}

bool writeBenchScenario(const QString& path, const QString& module,
                        const std::array<BenchTexts, kSlaveCount>& slaves, QString* error) {
  QString reason;
  if (replaceFile(path, benchScenarioBytes(module, slaves), &reason)) return true;
  if (error) *error = QStringLiteral("The bench was not saved to %1: %2").arg(path, reason);
  return false;
}

}  // namespace vantor
