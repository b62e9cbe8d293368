// vantor-cli decode's reading of a frame, hex text or raw bytes, on arbitrary input:
// - what is refused says why;
// - a frame that decodes, encoded again from its record, gives the same bytes;
// - the settings decode prints for it, read by the module's window, give the same frame but
//   for the alarm trip points, which the settings file does not keep (the window opens with
//   its own).

#include "Require.h"

#include "cli/Decode.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace vantor;
using fuzz::require;

namespace {

// A settings file of its own for the whole run.
QString settingsPath() {
  static const QTemporaryDir dir;
  return dir.filePath(QStringLiteral("modlcd.ini"));
}

IniFile settingsWith(const QString& text) {
  QFile file(settingsPath());
  require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the test's file is written");
  file.write(text.toUtf8());
  file.close();
  return IniFile::forFile(settingsPath(), true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
  QString error;
  const std::optional<QByteArray> frame = cli::frameOfInput(input, &error);
  if (!frame) {
    require(!error.isEmpty(), "input that gives no frame is refused with a reason");
    return 0;
  }
  const cli::DecodedFrame decoded = cli::decodeFrame(*frame, std::nullopt);
  if (!decoded.cfg1602 && !decoded.cfg2004) {
    require(!decoded.refusal.isEmpty(), "a frame that decodes to nothing is refused with a reason");
    return 0;
  }
  require(!cli::decodedWords(decoded).isEmpty(), "a decoded frame is said in words");
  const std::vector<IniEntry> entries = cli::decodedEntries(decoded);
  const IniFile ini = settingsWith(cli::settingsLines(entries));

  if (decoded.cfg1602) {
    Config1602 cfg = *decoded.cfg1602;
    require(frameBytes(encodeConfig1602(cfg)).bytes == *frame,
            "decode then encode: the same bytes");
    const Config1602Load load = loadConfig1602(ini);
    require(load.defaulted.isEmpty() && load.fileError.isEmpty(), "the window takes every setting");
    cfg.alarmTrip = Config1602{}.alarmTrip;
    require(frameBytes(encodeConfig1602(load.cfg)).bytes == frameBytes(encodeConfig1602(cfg)).bytes,
            "the settings printed give the frame again");
  } else {
    Config2004 cfg = *decoded.cfg2004;
    require(frameBytes(encodeConfig2004(cfg)).bytes == *frame,
            "decode then encode: the same bytes");
    const Config2004Load load = loadConfig2004(ini);
    require(load.defaulted.isEmpty() && load.fileError.isEmpty(), "the window takes every setting");
    for (Field2004& field : cfg.fields) {
      field.highTrip = Field2004{}.highTrip;
      field.lowTrip = Field2004{}.lowTrip;
    }
    require(frameBytes(encodeConfig2004(load.cfg)).bytes == frameBytes(encodeConfig2004(cfg)).bytes,
            "the settings printed give the frame again");
  }
  return 0;
}
