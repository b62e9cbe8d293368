#pragma once

// Encoding rules shared by the configuration frames of both display modules. Each model's
// layout (Config1602.h, Config2004.h) decides where these pieces go:
//
//   rows          every row in the module's width; "^" is sent as a blank (a blank the user
//                 can see while typing), short rows are padded with blanks, long ones cut,
//                 characters outside printable ASCII sent as "?"
//   small numbers one unsigned byte holding the value (polling interval, slave address,
//                 function code, digit count, decimal places, data type code, start location,
//                 number of active fields)
//   16-bit values two bytes, the high byte first (start register, alarm trip points)
//   line settings baud rate and data format as per-model codes
//   check bytes   8-bit sum of the covered bytes, then (256 - sum) mod 256, so that the two
//                 add up to a multiple of 256
//
// A frame is only built when every setting is one the window's lists offer: anything else has
// no byte the module understands, and the module would take a frame with a hole in it as a
// real setting.

#include "core/modbus/LineSettings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vantor {

// A configuration window's port always runs at this speed, whatever the module is to use: the
// module's own line settings only travel inside the frame.
inline constexpr LineSettings kConfigLine{9600, Parity::None, 8, 1};

inline constexpr char16_t kBlankMark = u'^';       // typed where the row needs a blank
inline constexpr char16_t kUnshowable = u'?';      // stands for a character the row cannot hold
inline constexpr std::uint8_t kRowPadding = 0x20;  // blank

// `text` with every character outside printable ASCII (0x20..0x7E) replaced by "?", one "?"
// per character as the user sees it (a pair of UTF-16 surrogates is one character). The
// module's own character set beyond ASCII differs between models and firmware, so anything
// else would show as something the user did not type.
QString printableRow(QStringView text);

// A row as its text box may hold it: printable, then cut to `width` characters. Used for rows
// restored from the settings file and for rows handed to the encoder.
QString fitRow(QStringView text, int width);

// A row as the module shows it, exactly `width` characters: fitted as above, carets turned
// into blanks, padded with blanks.
QString shownRow(QStringView text, int width);

// Writes `text` into `out` as the module shows it, out.size() characters wide: shownRow's
// characters, one byte each.
void putRow(std::span<std::uint8_t> out, QStringView text);

constexpr std::uint8_t highByte(std::uint16_t value) {
  return std::uint8_t(value >> 8);
}
constexpr std::uint8_t lowByte(std::uint16_t value) {
  return std::uint8_t(value & 0xFF);
}

// A model's codes for the module's own line settings, in the order of kBaudRates and
// kDataFormats ("9600", "19200", "38400" and "8N1", "8N2", "8E1" on both models).
struct LineCodes {
  std::array<std::uint8_t, 3> baud;
  std::array<std::uint8_t, 3> format;

  // The codes for a baud rate and a data format; nothing for one that is missing or unknown.
  constexpr std::optional<std::uint8_t> baudCode(std::optional<int> rate) const {
    for (std::size_t i = 0; rate && i < kBaudRates.size(); ++i)
      if (kBaudRates[i] == *rate) return baud[i];
    return std::nullopt;
  }
  constexpr std::optional<std::uint8_t> formatCode(std::optional<int> which) const {
    if (!which || *which < 0 || *which >= int(format.size())) return std::nullopt;
    return format[std::size_t(*which)];
  }
};

struct CheckBytes {
  std::uint8_t sum = 0;
  std::uint8_t complement = 0;
  friend bool operator==(const CheckBytes&, const CheckBytes&) = default;
};

CheckBytes checkBytes(std::span<const std::uint8_t> covered);

// Where a model's frame keeps what every frame ends in: the check bytes after the bytes they
// cover, then the fill byte. `model` names it for the user ("two-line").
struct FrameShape {
  int size;
  int sum;
  int complement;
  int fill;
  const char* model;
};

// Why `frame` cannot be one of `shape`'s: its length, check bytes that do not hold, or a fill
// byte that is not 0, in a sentence naming the bytes; empty when it can.
QString frameFault(std::span<const std::uint8_t> frame, const FrameShape& shape);

// Whether `frame` is one of `shape`'s (what frameFault() checks, without the words): cheap
// enough to try at every offset of what a line carried.
bool fitsShape(std::span<const std::uint8_t> frame, const FrameShape& shape);

// The bytes of `bytes`, for reading a received frame.
std::span<const std::uint8_t> byteSpan(QByteArrayView bytes);

// A frame ready to send, or why none was built.
template <std::size_t N>
struct EncodedFrame {
  std::optional<std::array<std::uint8_t, N>> frame;
  QString refusal;       // for the user, naming the lists that need a choice; empty with a frame
  QStringList unchosen;  // the captions of those lists, for a refusal in other words
};

// A received frame read back into the record that gives it, or why none does.
template <typename Config>
struct DecodedConfig {
  std::optional<Config> cfg;
  QString refusal;  // for the user, naming the bytes; empty with a record
};

// The bytes of a frame, or the refusal.
struct FrameBytes {
  QByteArray bytes;  // empty with a refusal
  QString refusal;
  QStringList unchosen;
};
template <std::size_t N>
FrameBytes frameBytes(const EncodedFrame<N>& encoded) {
  if (!encoded.frame) return {{}, encoded.refusal, encoded.unchosen};
  return {QByteArray(reinterpret_cast<const char*>(encoded.frame->data()), qsizetype(N)), {}, {}};
}

// The sentence shown instead of sending while the lists captioned `captions` have no entry
// chosen that the frame can carry.
QString refusalMessage(const QStringList& captions);

}  // namespace vantor
