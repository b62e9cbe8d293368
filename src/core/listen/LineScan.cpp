#include "core/listen/LineScan.h"

#include <QStringList>

#include <algorithm>

namespace vantor {

namespace {

bool isValidFrame(EventKind kind) {
  return kind == EventKind::Request || kind == EventKind::Response ||
         kind == EventKind::Exception || kind == EventKind::ConfigFrame;
}

// Fewer errors per valid frame is better; with as many, more valid frames.
bool better(const ScanCounts& a, const ScanCounts& b) {
  const qint64 left = a.badFrames * b.validFrames;
  const qint64 right = b.badFrames * a.validFrames;
  if (left != right) return left < right;
  return a.validFrames > b.validFrames;
}

// Counts a scan cannot tell apart: the same errors per valid frame, within one frame either
// way (a poll more or less falls into a window of a few seconds).
bool alike(const ScanCounts& a, const ScanCounts& b) {
  return a.badFrames * b.validFrames == b.badFrames * a.validFrames ||
         (std::abs(a.badFrames - b.badFrames) <= 1 && std::abs(a.validFrames - b.validFrames) <= 1);
}

// Why no settings are offered when no valid frame was heard at any.
QString nothingValid(const std::vector<ScanCounts>& counts) {
  const bool silent =
      std::all_of(counts.begin(), counts.end(), [](const ScanCounts& c) { return c.bytes == 0; });
  return silent ? QStringLiteral(
                      "Nothing was heard on the line at any setting: is the master "
                      "running and wired to this port?")
                : QStringLiteral(
                      "Bytes were heard, but no valid frame at any setting: the line "
                      "may run at a rate not in the lists, or be wired wrongly.");
}

}  // namespace

void ScanCounts::take(const TrafficEvent& e) {
  bytes += e.bytes.size();
  if (isValidFrame(e.kind))
    ++validFrames;
  else if (e.kind == EventKind::CrcError || e.kind == EventKind::Fragment)
    ++badFrames;
}

std::vector<LineSettings> scanSettings() {
  std::vector<LineSettings> all;
  for (const int baud : kBaudRates)
    for (const DataFormat& f : kDataFormats) all.push_back({baud, f.parity, 8, f.stopBits});
  return all;
}

ScanFinding chooseSettings(const std::vector<ScanCounts>& counts) {
  std::vector<const ScanCounts*> heard;
  for (const ScanCounts& c : counts)
    if (c.refused.isEmpty() && c.validFrames > 0) heard.push_back(&c);
  if (heard.empty()) return {std::nullopt, nothingValid(counts)};
  std::stable_sort(heard.begin(), heard.end(),
                   [](const ScanCounts* a, const ScanCounts* b) { return better(*a, *b); });
  // Of settings heard alike, the first in the lists' order is offered: counts a frame apart
  // say nothing about which is right.
  const ScanCounts* first = heard.front();
  for (const ScanCounts& c : counts)
    if (c.refused.isEmpty() && c.validFrames > 0 && alike(c, *heard.front())) {
      first = &c;
      break;
    }
  const ScanCounts& best = *first;
  QStringList twins;  // settings heard as well as the best
  bool otherBaud = false;
  for (const ScanCounts* c : heard) {
    if (c == &best || !alike(*c, best)) continue;
    twins << formatLineSettings(c->settings);
    otherBaud = otherBaud || c->settings.baud != best.settings.baud;
  }
  const QString found = formatLineSettings(best.settings);
  const QString counted =
      QStringLiteral("%1 valid frames, %2 bad").arg(best.validFrames).arg(best.badFrames);
  if (twins.isEmpty())
    return {best.settings, QStringLiteral("The line runs at %1 (%2).").arg(found, counted)};
  if (otherBaud)
    return {std::nullopt,
            QStringLiteral("%1 and %2 were heard alike (%3): this device does not tell baud rates "
                           "apart (a pseudo-terminal, or a converter that passes frames rather "
                           "than bits), so nothing can be found by listening here.")
                .arg(found, twins.join(QStringLiteral(", ")), counted)};
  // Formats alike at one baud rate: a receiver at one stop bit also hears a sender at two, and
  // one without parity often a sender with it. The doubt is said.
  return {best.settings,
          QStringLiteral("The line runs at %1 (%2); %3 heard alike: this device cannot tell "
                         "these data formats apart (a receiver at one stop bit also hears a "
                         "sender at two). %1 is offered; where the master's manual says "
                         "otherwise, believe the manual.")
              .arg(found, counted,
                   twins.join(QStringLiteral(", ")) +
                       (twins.size() == 1 ? QStringLiteral(" was") : QStringLiteral(" were")))};
}

QString scanTable(const std::vector<ScanCounts>& counts) {
  QString text;
  for (const ScanCounts& c : counts) {
    const QString line = formatLineSettings(c.settings).leftJustified(12);
    if (!c.refused.isEmpty())
      text += QStringLiteral("%1 not heard: %2\n").arg(line, c.refused);
    else
      text += QStringLiteral("%1 %2 valid  %3 bad  %4 bytes\n")
                  .arg(line)
                  .arg(c.validFrames, 5)
                  .arg(c.badFrames, 5)
                  .arg(c.bytes, 7);
  }
  return text;
}

}  // namespace vantor
