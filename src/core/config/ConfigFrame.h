#pragma once

// Encoding rules shared by the configuration frames of both display modules. Each model's
// layout (Config1602.h, Config2004.h) decides where these pieces go:
//
//   rows          every row in the module's width; "^" is sent as a blank (a blank the user
//                 can see while typing), short rows are padded with blanks, long ones cut,
//                 characters outside printable ASCII sent as "?"
//   list fields   one unsigned byte: the entry's position, or position + 1 where the entries
//                 count from 1 (polling interval, slave address, digit count, active fields)
//   function code 3 for "Function Code 03", otherwise 4
//   line settings baud rate and data format as per-model codes looked up by list position
//   check bytes   8-bit sum of the covered bytes, then (256 - sum) mod 256, so that the two
//                 add up to a multiple of 256
//
// A frame is only built when every list has a selection: a position of -1 fits no byte, and
// the module would take a frame with a hole in it as a real setting.

#include "core/modbus/LineSettings.h"

#include <QByteArray>
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

// Writes `text` into `out` as the module shows it, out.size() characters wide: fitted as
// above, carets turned into blanks, padded with blanks.
void putRow(std::span<std::uint8_t> out, QStringView text);

// Whether `position` selects one of `count` entries.
constexpr bool selects(int position, qsizetype count) {
  return position >= 0 && position < count;
}

// The byte for a list field: the position plus 1 for lists whose entries count from 1.
constexpr std::uint8_t listByte(int position, int firstEntry = 0) {
  return static_cast<std::uint8_t>(position + firstEntry);
}

constexpr std::uint8_t functionCodeByte(bool opt03) {
  return opt03 ? 3 : 4;
}

// A model's codes for the module's own line settings, by position in cboBaud and cboDF1
// ("9600", "19200", "38400" and "8N1", "8N2", "8E1" on both models).
struct LineCodes {
  std::array<std::uint8_t, 3> baud;
  std::array<std::uint8_t, 3> format;
};

struct CheckBytes {
  std::uint8_t sum = 0;
  std::uint8_t complement = 0;
  friend bool operator==(const CheckBytes&, const CheckBytes&) = default;
};

CheckBytes checkBytes(std::span<const std::uint8_t> covered);

// A frame ready to send, or why none was built.
template <std::size_t N>
struct EncodedFrame {
  std::optional<std::array<std::uint8_t, N>> frame;
  QString refusal;  // for the user, naming the lists that need a selection; empty with a frame
};

// The bytes of a frame, or the refusal.
struct FrameBytes {
  QByteArray bytes;  // empty with a refusal
  QString refusal;
};
template <std::size_t N>
FrameBytes frameBytes(const EncodedFrame<N>& encoded) {
  if (!encoded.frame) return {{}, encoded.refusal};
  return {QByteArray(reinterpret_cast<const char*>(encoded.frame->data()), qsizetype(N)), {}};
}

// The sentence shown instead of sending while the lists captioned `captions` have no selection.
QString refusalMessage(const QStringList& captions);

}  // namespace vantor
