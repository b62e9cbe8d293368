#pragma once

// What a module's display shows for a configuration and the values its fields read: the rows
// as the frame sends them with each active field's value drawn over them, and what a
// technician should know about the layout ("findings"). One rendering for the configuration
// windows, the main window and vantor-cli.

#include "core/config/Config1602.h"
#include "core/config/Config2004.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vantor {

// One field's reading: the raw value its poll returned (a two-register value high register
// first), or nothing when the poll went unanswered; `why` says why in that case ("no reply:
// fault silent"), for the finding.
struct FieldReading {
  std::optional<std::uint32_t> raw = 0;
  QString why;
};

// Where a field's cells fell on the display.
struct FieldCells {
  int field = 0;  // 1-based, as the windows and vantor-cli number fields
  int row = 0;
  int firstColumn = 0;
  int width = 0;        // cells drawn (cells past the display's end are dropped)
  bool dimmed = false;  // its reading is missing
};

struct DisplayPreview {
  QStringList rows;      // each exactly the display's width, printable ASCII only
  QStringList findings;  // one line each, beginning "field N: "
  // Active fields only, in field order: one entry for each row a field's drawn cells fall on
  // (two for a two-line field that crosses into row 1, none for one wholly past the end).
  std::vector<FieldCells> cells;
};

// A field's value as the module writes it into its cells: decoded by its data type, with its
// decimal places, right-aligned in `digits` cells; "#" in every cell when it needs more, "?"
// in every cell for a BCD value with a nibble above 9. A field whose reading is missing shows
// "-" in every cell.
QString fieldText(std::uint32_t raw, const DataField& field);

// The widest value the field's digits and decimal places can show, in its typed form
// ("8888.8" for 6 digits and 1 decimal place); a sample for a preview nobody gave values for.
// Every digit an 8, but never beyond what the data type carries in the simulator's lists
// (typedRange): 6 signed digits with 1 decimal place are "3276.7". So the sample always
// stands for a value a simulated slave can answer (encodeTyped takes it).
QString widestSample(const DataField& field);

DisplayPreview previewDisplay(const Config1602& cfg, const FieldReading& reading);
DisplayPreview previewDisplay(const Config2004& cfg,
                              const std::array<FieldReading, kFieldCount>& readings);

// The rows framed by '|' on each side, one per line: what vantor-cli preview prints (a
// preview's accessible description is what stands between the bars).
QString framedRows(const DisplayPreview& preview);

}  // namespace vantor
