#pragma once

// Finding a line's settings by listening: at each baud rate and data format the lists offer,
// what was heard is counted, and the settings that carry valid frames with the fewest errors
// are the line's. Where the counts cannot tell two settings apart, the finding says so instead
// of guessing.

#include "core/modbus/LineSettings.h"
#include "core/monitor/TrafficEvent.h"

#include <QString>

#include <vector>

namespace vantor {

struct ScanCounts {
  LineSettings settings;
  qint64 validFrames = 0;  // requests, responses, exception replies, configuration frames
  qint64 badFrames = 0;    // CRC errors and fragments
  qint64 bytes = 0;
  // Why nothing could be heard at these settings (the device refused them); empty when it
  // listened.
  QString refused;

  void take(const TrafficEvent& event);
};

// The nine settings to try, in the lists' order: each baud rate with 8N1, 8N2 and 8E1.
std::vector<LineSettings> scanSettings();

struct ScanFinding {
  // The settings to offer; nothing when no valid frame was heard, or when baud rates could not
  // be told apart.
  std::optional<LineSettings> best;
  // What the user reads: the finding in a sentence or two.
  QString summary;
};

// Decides from every combination's counts.
ScanFinding chooseSettings(const std::vector<ScanCounts>& counts);

// One line per combination: "19200,n,8,1   12 valid   0 bad   96 bytes".
QString scanTable(const std::vector<ScanCounts>& counts);

}  // namespace vantor
