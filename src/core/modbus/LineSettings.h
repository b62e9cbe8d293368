#pragma once

// The line settings of a serial port as one value, and their text form "9600,n,8,1" (baud
// rate, parity n or e, data bits, stop bits) as the settings file keeps it. The text is taken
// apart in one place and put together in one place: everything else passes LineSettings.

#include <QString>
#include <QStringView>

#include <array>
#include <chrono>
#include <optional>

namespace vantor {

enum class Parity { None, Even };

struct LineSettings {
  int baud = 9600;
  Parity parity = Parity::None;
  int dataBits = 8;
  int stopBits = 1;

  // Bits on the wire for one character: start, data, parity, stop.
  int bitsPerCharacter() const {
    return 1 + dataBits + (parity == Parity::None ? 0 : 1) + stopBits;
  }
  friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// What the lists offer, in list order: the baud rates, and the data formats 8N1, 8N2, 8E1.
inline constexpr std::array<int, 3> kBaudRates{9600, 19200, 38400};
struct DataFormat {
  const char* label;  // as the lists show it
  Parity parity;
  int stopBits;
};
inline constexpr std::array<DataFormat, 3> kDataFormats{{
    {"8N1", Parity::None, 1},
    {"8N2", Parity::None, 2},
    {"8E1", Parity::Even, 1},
}};

// A line-settings text taken apart as far as it goes: its first five characters choose a baud
// rate ("9600,", "19200", "38400") and its last five a data format ("n,8,1", "n,8,2",
// "e,8,1"). Each is a position in the lists above, or nothing when that end matches none.
struct LineChoice {
  std::optional<int> baud;
  std::optional<int> format;
};
LineChoice parseLineChoice(QStringView text);

// The settings a choice of both lists stands for; nothing while either is missing.
std::optional<LineSettings> lineSettingsOf(const LineChoice& choice);

// The text of a choice: the baud rate, then the data format's suffix; either part empty where
// nothing is chosen.
QString formatLineChoice(const LineChoice& choice);

// "9600,n,8,1" and the like.
QString formatLineSettings(const LineSettings& line);
// The text after the baud rate for data format `format`, e.g. ",e,8,1"; empty for none.
QString dataFormatSuffix(std::optional<int> format);

// Accepts exactly the nine texts the program writes; anything else gives nothing.
std::optional<LineSettings> parseLineSettings(QStringView text);

// The settings in which `actual` differs from `asked`, named for the user ("parity none
// instead of even"); empty when they agree.
QString lineSettingsDifference(const LineSettings& asked, const LineSettings& actual);

// Silence that ends a frame on an RTU line (Modbus over serial line, 2.5.1.1): 3.5 character
// times, and a fixed 1.75 ms above 19200 baud, where character times get too short for a
// receiver to tell apart reliably.
std::chrono::microseconds frameGap(const LineSettings& line);

}  // namespace vantor
