// vantor-cli decode's reading of a frame, hex text or raw bytes, on arbitrary input:
// - what is refused says why;
// - a frame that decodes, encoded again from its record, gives the same bytes;
// - the settings decode prints for it, read by the module's window, give the same frame but
//   for the alarm trip points, which the settings file does not keep (the window opens with
//   its own).
// A frame of the right length whose check bytes do not hold is also tried with them mended.

#include "Require.h"

#include "cli/Decode.h"

#include <QFile>
#include <QTemporaryDir>

#include <vector>

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

// The properties above for one frame.
void check(const QByteArray& frame) {
  const cli::DecodedFrame decoded = cli::decodeFrame(frame, std::nullopt);
  if (!decoded.cfg1602 && !decoded.cfg2004) {
    require(!decoded.refusal.isEmpty(), "a frame that decodes to nothing is refused with a reason");
    return;
  }
  require(!cli::decodedWords(decoded).isEmpty(), "a decoded frame is said in words");
  const IniFile ini = settingsWith(cli::settingsLines(cli::decodedEntries(decoded)));

  if (decoded.cfg1602) {
    Config1602 cfg = *decoded.cfg1602;
    require(frameBytes(encodeConfig1602(cfg)).bytes == frame, "decode then encode: the same bytes");
    const Config1602Load load = loadConfig1602(ini);
    require(load.defaulted.isEmpty() && load.fileError.isEmpty(), "the window takes every setting");
    cfg.alarmTrip = Config1602{}.alarmTrip;
    require(frameBytes(encodeConfig1602(load.cfg)).bytes == frameBytes(encodeConfig1602(cfg)).bytes,
            "the settings printed give the frame again");
  } else {
    Config2004 cfg = *decoded.cfg2004;
    require(frameBytes(encodeConfig2004(cfg)).bytes == frame, "decode then encode: the same bytes");
    const Config2004Load load = loadConfig2004(ini);
    require(load.defaulted.isEmpty() && load.fileError.isEmpty(), "the window takes every setting");
    for (Field2004& field : cfg.fields) {
      field.highTrip = Field2004{}.highTrip;
      field.lowTrip = Field2004{}.lowTrip;
    }
    require(frameBytes(encodeConfig2004(load.cfg)).bytes == frameBytes(encodeConfig2004(cfg)).bytes,
            "the settings printed give the frame again");
  }
}

// `frame` with the check bytes and the fill byte its length calls for, so that a change to any
// other byte still reaches the reading of the values.
QByteArray withCheckBytes(QByteArray frame) {
  for (const FrameShape& shape : {frame1602::kShape, frame2004::kShape}) {
    if (frame.size() != shape.size) continue;
    const CheckBytes check = checkBytes(byteSpan(frame).first(std::size_t(shape.sum)));
    frame[shape.sum] = char(check.sum);
    frame[shape.complement] = char(check.complement);
    frame[shape.fill] = 0;
  }
  return frame;
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
  check(*frame);
  if (const QByteArray mended = withCheckBytes(*frame); mended != *frame) check(mended);
  return 0;
}
