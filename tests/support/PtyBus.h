#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace vantor::test {

// What a UART set to `toBaud` receives when `bytes` are sent back to back at `fromBaud`, each
// as 8N1 (or 8N2: `stopBitsFrom`). The sent bits are laid out in time (idle 1, start 0, 8 data
// bits LSB first, stop 1s); the receiver waits for a falling edge, checks the start bit still
// reads 0 in its middle (else it was a glitch and hunting goes on), samples each data bit in
// its middle, then the first stop bit, and hunts again from there.
// A byte whose stop bit reads 0 (framing error) is delivered as read, as Linux does for a
// terminal without INPCK (termios(3): with INPCK off, parity and framing errors are not
// checked); a break (all zeros, stop bit too) therefore arrives as 0x00, as with IGNBRK and
// BRKINT off (raw mode). Only the first stop bit is checked, as 16550-type UARTs do, so the
// receiver's own stop bit count changes nothing and is not asked for. Same rates (or a rate
// not known: <= 0): the bytes pass untouched.
QByteArray resample(const QByteArray& bytes, int fromBaud, int toBaud, int stopBitsFrom = 1);

// A shared line for N programs, as on an RS-485 bus: N pseudo-terminals whose far ends are
// joined by a relay thread. What one end's program writes reaches every other end (not the
// writer's own, as RS-485 adapters here do not echo, unless setEcho() asks), read and passed
// on at once, in the chunks it was read in, so the gaps between frames are kept.
// When the reading end's program has set another baud rate than the writer's (read from each
// terminal's attributes at every chunk, so a program may reconfigure any time), the chunk is
// passed through resample(): a mismatched rate garbles, as on a real line.
//
//   PtyBus bus(3);
//   bus.start();                  // false if a terminal could not be had
//   open(bus.path(0)) ...         // /dev/pts/K
//
// Each end starts raw at 9600 8N1 until its program sets otherwise. Each end's device is held
// open by the bus too, so an end whose program closes it never
// hangs up the line; what arrives for an end no program holds open waits in its input queue
// (until it fills: what does not fit is dropped, as by an overrun receiver).
class PtyBus {
 public:
  explicit PtyBus(int ends);
  ~PtyBus();  // stops the relay
  PtyBus(const PtyBus&) = delete;
  PtyBus& operator=(const PtyBus&) = delete;

  bool isValid() const { return valid_; }
  int size() const { return int(ends_.size()); }
  QString path(int end) const;
  // Whether what `end` writes comes back to `end` too (a transceiver that hears itself).
  void setEcho(int end, bool on);

  bool start();
  void stop();
  bool isRunning() const { return thread_.joinable(); }

 private:
  struct End {
    int master = -1;
    int slave = -1;
    QString path;
    std::atomic<bool> echo = false;
  };
  void relay();
  void pass(int from, const QByteArray& bytes);

  std::vector<std::unique_ptr<End>> ends_;
  int wake_ = -1;
  bool valid_ = false;
  std::thread thread_;
};

// A bus end opened raw at `baud` (a termios speed such as B19200), as a master's program opens
// its port: the descriptor, or -1.
int openEnd(const QString& path, unsigned baud);

}  // namespace vantor::test
