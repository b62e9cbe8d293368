#pragma once

#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/display/DisplayPreview.h"
#include "core/listen/HeardDisplay.h"

#include <QWidget>

#include <array>
#include <optional>
#include <vector>

class QLabel;

namespace vantor {

class LcdView;
struct Exchange;
struct SlaveTableLoad;

// What the module shows: its display drawn from the configuration being served and the value
// each field's last poll gave, with what to look into beneath it (a field faded, and why).
// While listening, drawn from what is heard instead.
class DisplayPanel : public QWidget {
  Q_OBJECT

 public:
  explicit DisplayPanel(QWidget* parent);

  // The configuration of a module, its fields not polled yet; or none, an empty display.
  // What a field lacks is said only of a `live` display, one whose fields are being polled.
  void showConfiguration(const std::optional<Config1602>& cfg1602,
                         const std::optional<Config2004>& cfg2004, bool live = true);
  void showConfiguration(const SlaveTableLoad& load, bool live = true);
  // What a field's last poll gave, as the module reads its reply.
  void take(const Exchange& exchange);
  // What field 1..4's last poll gave, read elsewhere (polling as the module).
  void setReading(int field, const FieldReading& reading);
  // Listening: the display drawn from the replies heard to the polls of `saved`'s fields, or
  // of a configuration heard on the line; empty until something of it is heard.
  void listen(const ModuleConfig& saved);
  // Takes what was heard while listening. When a configuration frame heard took the drawing
  // over, what to say of it; else empty.
  QString hear(const std::vector<TrafficEvent>& heard);
  // Draws what was taken since the last draw.
  void refresh();
  const DisplayPreview& preview() const;

 private:
  std::optional<Config1602> cfg1602_;
  std::optional<Config2004> cfg2004_;
  std::array<FieldReading, kFieldCount> readings_{};
  bool changed_ = false;
  bool live_ = true;
  std::optional<HeardDisplay> heard_;  // while listening
  LcdView* lcd_ = nullptr;
  QLabel* findings_ = nullptr;
};

// What the module made of a poll of a field from its reply: the value, when the reply carried
// it as it should (late or not); else nothing, and why.
FieldReading readingOf(const Exchange& exchange);

}  // namespace vantor
