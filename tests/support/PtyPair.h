#pragma once

#include <QByteArray>
#include <QString>

namespace vantor::test {

// A pseudo-terminal pair standing in for a serial line: the program under test opens
// devicePath(); the test reads and writes the other end.
class PtyPair {
 public:
  // keepSlaveOpen: hold our own descriptor of the device too, so that the far end never sees
  // a hang-up (for relays); otherwise the program's close reads as one, as on a real line.
  explicit PtyPair(bool keepSlaveOpen = false);
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool isValid() const { return master_ >= 0; }
  QString devicePath() const { return path_; }
  int masterFd() const { return master_; }

  // Writes all of `bytes` to the far end of the line.
  bool write(const QByteArray& bytes);
  // Reads what arrives within `timeoutMs`, stopping early once `expected` bytes are in
  // (expected <= 0: read until the line has been quiet for `timeoutMs`).
  QByteArray read(int expected, int timeoutMs);
  // Closes the far end, as when a cable or adapter goes away.
  void closeMaster();

 private:
  int master_ = -1;
  int slave_ = -1;
  QString path_;
};

}  // namespace vantor::test
