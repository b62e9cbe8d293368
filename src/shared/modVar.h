#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace vantor {

// The six bytes a simulated slave expects a poll to start with, and whether it answers at all.
struct SlaveRequest {
  std::array<std::uint8_t, 6> bytes{};
  bool enabled = false;
};

inline constexpr int kFrameSize = 41;
inline constexpr int kSlaveCount = 4;

// Values shared between the windows and the simulator's procedures. The application owns one
// and hands it on by reference; a test makes a fresh one.
struct modVar {
  // Port number chosen on the main window as decimal text ("1".."20", "0" for none).
  QString gCommPort;
  // Line settings text of the main window's connection, e.g. "9600,n,8,1".
  QString gCommSetting;

  // The simulator's frame buffer: the request received, then the reply built over it.
  std::array<std::uint8_t, kFrameSize> gFrame{};
  // Everything the last read of the main window's port delivered.
  QByteArray gRxData;

  // Expected requests of simulated slaves 1 to 4 (gSlaveReq1..gSlaveReq4), index 0 = slave 1.
  std::array<SlaveRequest, kSlaveCount> gSlaveReq{};

  SlaveRequest& slaveReq(int slave) { return gSlaveReq.at(static_cast<std::size_t>(slave - 1)); }
  const SlaveRequest& slaveReq(int slave) const {
    return gSlaveReq.at(static_cast<std::size_t>(slave - 1));
  }
};

}  // namespace vantor
