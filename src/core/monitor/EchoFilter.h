#pragma once

#include <QByteArray>

#include <optional>

namespace vantor {

// Many two-wire (RS-485) adapters hand the PC back what it sent. Bytes that arrive right after
// a reply and equal it are that echo: they are no request of the module's, and answering them
// could even make the simulator answer its own replies for ever.
class EchoFilter {
 public:
  // How long after a reply its echo may still come: the reply's own time on the line plus the
  // adapter's latency, generously.
  static constexpr qint64 kWindowMs = 100;

  void setEnabled(bool enabled);
  bool enabled() const { return enabled_; }

  // A reply left at `nowMs`: expect its echo.
  void expect(const QByteArray& reply, qint64 nowMs);
  // Takes the echo off the front of `received` and returns it; empty when `received` does not
  // start with what is expected. What follows the echo stays. Bytes that are only the start of
  // the echo may as well start a request of the same slave and function: they are held and
  // put back in front of the next read, until that read says which they were.
  QByteArray take(QByteArray& received, qint64 nowMs);
  // The bytes held, once their echo can no longer come.
  QByteArray release(qint64 nowMs);
  // When held bytes are due for release(); nothing while none are held.
  std::optional<qint64> deadline() const;

 private:
  bool enabled_ = true;
  QByteArray expected_;
  QByteArray held_;
  qint64 deadline_ = 0;
};

}  // namespace vantor
