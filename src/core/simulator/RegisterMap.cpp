#include "core/simulator/RegisterMap.h"

#include "core/modbus/RtuFrame.h"
#include "core/settings/Schema.h"
#include "core/simulator/BenchScenario.h"

#include <algorithm>

namespace vantor {

namespace {

struct ItemRange {
  unsigned first;
  unsigned last;
  const char* rule;  // in words, %1 and %2 standing for `first` and `last`
};

ItemRange rangeOf(RegisterItem item) {
  switch (item) {
    case RegisterItem::Slave:
      return {1, rtu::kHighestAddress, "a slave address %1 to %2"};
    case RegisterItem::Function:
      return {rtu::kReadHolding, rtu::kReadInput, "function %1 or %2"};
    case RegisterItem::Register:
      return {0, 0xFFFF, "a register %1 to %2 (or 0x0000 to 0xFFFF)"};
    case RegisterItem::Value:
      break;
  }
  return {0, 0xFFFF, "a value %1 to %2 (or 0x0000 to 0xFFFF)"};
}

QString keyName(int n) {
  return QLatin1String(ini::answerall::kRegister) + QString::number(n);
}

}  // namespace

std::optional<std::uint16_t> parseRegisterItem(RegisterItem item, QStringView text) {
  const auto value = parseRegisterValue(text.toString());
  const ItemRange range = rangeOf(item);
  if (!value || *value < range.first || *value > range.last) return std::nullopt;
  return std::uint16_t(*value);
}

QString registerItemRule(RegisterItem item) {
  const ItemRange range = rangeOf(item);
  return QString::fromLatin1(range.rule).arg(range.first).arg(range.last);
}

std::optional<RegisterCells> registerCellsOf(const QString& text) {
  const QStringList colon = text.split(u':');
  if (colon.size() != 3) return std::nullopt;
  const qsizetype eq = colon[2].indexOf(u'=');
  if (eq < 0) return std::nullopt;
  return RegisterCells{colon[0].trimmed(), colon[1].trimmed(), colon[2].left(eq).trimmed(),
                       colon[2].mid(eq + 1).trimmed()};
}

QString registerEntryText(const RegisterCells& cells) {
  return QStringLiteral("%1:%2:%3=%4").arg(cells[0], cells[1], cells[2], cells[3]);
}

std::optional<RegisterEntry> parseRegisterEntry(const QString& text, QString* why) {
  const auto fail = [why](const QString& reason) -> std::optional<RegisterEntry> {
    if (why) *why = reason;
    return std::nullopt;
  };
  const auto cells = registerCellsOf(text);
  if (!cells) return fail(QStringLiteral("give SLAVE:FC:REGISTER=VALUE"));
  std::array<std::uint16_t, kRegisterItems> n{};
  for (int i = 0; i < kRegisterItems; ++i) {
    const auto part = RegisterItem(i);
    const auto value = parseRegisterItem(part, (*cells)[std::size_t(i)]);
    if (!value) return fail(QStringLiteral("give %1").arg(registerItemRule(part)));
    n[std::size_t(i)] = *value;
  }
  return RegisterEntry{{std::uint8_t(n[0]), std::uint8_t(n[1]), n[2]}, n[3]};
}

AnswerAllSettings readAnswerAll(const IniSnapshot& file) {
  using namespace ini::answerall;
  SectionReader section(file, QLatin1String(kSection));
  AnswerAllSettings settings;
  settings.enabled = section.number(kEnabled) == 1;
  settings.keys = section.number(kCount);
  for (int n = 1; n <= settings.keys; ++n) {
    const QString entry = file.value(section.section(), keyName(n)).trimmed();
    if (!entry.isEmpty()) settings.entries << entry;
  }
  return settings;
}

std::vector<IniEntry> answerAllEntries(const AnswerAllSettings& settings, int storedBefore) {
  using namespace ini::answerall;
  const int count = std::min(int(settings.entries.size()), kCount.last);
  std::vector<IniEntry> entries{
      numberEntry(kSection, QLatin1String(kEnabled.name), settings.enabled ? 1 : 0),
      numberEntry(kSection, QLatin1String(kCount.name), count)};
  for (int n = 1; n <= std::max(count, storedBefore); ++n)
    entries.push_back(
        textEntry(kSection, keyName(n), n <= count ? settings.entries[n - 1] : QString()));
  return entries;
}

}  // namespace vantor
