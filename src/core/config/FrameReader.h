#pragma once

// Reading a received configuration frame back into a record, the inverse of the encoders in
// Config1602.cpp and Config2004.cpp. A byte is taken only as a value the window's list for it
// offers, since that is all the settings file can keep and the encoder send again; every other
// byte is noted by position, so that a refusal can say which bytes to look at.

#include "core/config/ConfigFrame.h"
#include "core/config/ConfigRecord.h"
#include "core/config/ConfigSettings.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>

namespace vantor {

// Where a model's frame keeps one data field's bytes.
struct FieldBytes {
  int address;
  int functionCode;
  int registerHi;
  int registerLo;
  int decimals;
  int dataType;
  int start;
  int digits;
};

// The caption a message gives a data field's setting ("Data Type", "Data Type (field 2)").
using FieldCaption = std::function<QString(const char* caption)>;

class FrameReader {
 public:
  explicit FrameReader(std::span<const std::uint8_t> frame) : frame_(frame) {}

  // Byte `at`, noted as `caption`'s when `key` does not allow it.
  int number(int at, const NumberKey& key, const QString& caption);
  // The module line whose codes (see LineCodes) are at `baudAt` and `formatAt`.
  ModuleLine line(int baudAt, int formatAt, const LineCodes& codes);
  std::uint16_t word(int hi, int lo) const;
  // The text of the row at `at`, `width` bytes: what the window would save to send them. The
  // blanks that end it are left out, since the encoder pads rows with blanks; the others stay
  // blanks. A byte no row text gives (a caret, which is sent as a blank, or one outside
  // printable ASCII) is noted.
  QString row(int at, int width);
  DataField field(const FieldBytes& at, const FieldKeys& keys, const FieldCaption& caption);

  // Why the frame cannot be saved, naming every noted byte in order; empty when none was.
  QString refusal() const;

 private:
  std::optional<int> code(int at, std::span<const std::uint8_t> codes, const char* caption);
  int functionCode(int at, const QString& caption);
  void note(int at, const QString& why);

  std::span<const std::uint8_t> frame_;
  std::map<int, QString> notes_;  // by byte
};

}  // namespace vantor
