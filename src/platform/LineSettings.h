#pragma once

#include <QString>

#include <optional>

namespace vantor {

// A complete line settings text, "9600,n,8,1" and the like, taken apart.
struct LineSettings {
  int baud = 9600;
  char parity = 'n';  // 'n' none, 'e' even
  int dataBits = 8;
  int stopBits = 1;

  // Bits on the wire for one character: start, data, parity, stop.
  int bitsPerCharacter() const { return 1 + dataBits + (parity == 'n' ? 0 : 1) + stopBits; }
};

// Accepts exactly the nine texts the program writes: "9600", "19200" or "38400", followed by
// ",n,8,1", ",n,8,2" or ",e,8,1". Anything else (an incomplete text included) gives nothing.
std::optional<LineSettings> parseLineSettings(const QString& text);

}  // namespace vantor
