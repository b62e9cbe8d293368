#pragma once

// vantor-cli decode: a received configuration frame read back, said in words and as the
// settings its module's window would save.

#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/settings/IniFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <span>
#include <vector>

namespace vantor::cli {

// decode's input as frame bytes: hex text when it holds nothing but hex digits (either case)
// and blanks or line ends, raw bytes otherwise. Text with an odd number of digits gives
// nothing, with `error` saying so: no frame's raw bytes are all hex digits, since every frame
// ends in the fill byte 00.
std::optional<QByteArray> frameOfInput(const QByteArray& input, QString* error);

// A frame decoded as `module` ("1602" or "2004"), or as the module its length gives.
struct DecodedFrame {
  std::optional<Config1602> cfg1602;
  std::optional<Config2004> cfg2004;
  QString refusal;  // why neither is given
};
DecodedFrame decodeFrame(QByteArrayView frame, const std::optional<QString>& module);

// The configuration in words, one setting a line, then a sentence for each alarm trip point
// the settings file does not keep.
QString decodedWords(const DecodedFrame& decoded);
// What the window's save writes for it, in its order.
std::vector<IniEntry> decodedEntries(const DecodedFrame& decoded);
// Those entries as lines of a settings file: each section's header, then its keys.
QString settingsLines(std::span<const IniEntry> entries);

}  // namespace vantor::cli
