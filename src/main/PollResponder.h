#pragma once

#include "shared/modVar.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace vantor {

// Bytes as the simulator shows them: two upper-case hex digits and one blank per byte.
QString formatBytes(const QByteArray& bytes);

// Plays the simulated slaves: judges each request read from the port and builds the reply.
class PollResponder {
 public:
  // Chosen position of value list `element` (0..2) of slave 1..4; nullopt when none is chosen.
  using ValueSource = std::function<std::optional<std::uint8_t>(int slave, int element)>;

  struct Display {
    QString rxData;
    QString txData;
    QString status;
  };

  PollResponder(modVar& vars, ValueSource values);

  // One receive event's read. Returns the reply to write to the port, empty for none.
  QByteArray HandleCommEvent(const QByteArray& rx);
  const Display& display() const { return display_; }

 private:
  bool CheckRequest(int count);
  void BuildReply(int slave);
  void SendReply(int length);

  modVar& vars_;
  ValueSource values_;
  Display display_;
  QByteArray reply_;
};

}  // namespace vantor
