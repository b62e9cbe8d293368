#pragma once

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

typedef struct _modbus modbus_t;
typedef struct _modbus_mapping_t modbus_mapping_t;

namespace vantor::test {

// A field device that is not Vantor: libmodbus's RTU server answering as one slave address on
// the far end of a pseudo-terminal, from a thread of its own while it lives. Holding and input
// registers 0 to 255 read 0 until set. It keeps every request it answered, with the times it
// had read it and had written its reply.
class ModbusSlave {
 public:
  struct Request {
    QByteArray bytes;
    std::int64_t readNs = 0;     // steady clock
    std::int64_t repliedNs = 0;  // steady clock
  };

  // `realTime`: the thread asks for real-time priority where the system allows (a device of
  // its own, for benchmarks).
  ModbusSlave(int fd, int address, bool realTime = false);
  ~ModbusSlave();
  ModbusSlave(const ModbusSlave&) = delete;
  ModbusSlave& operator=(const ModbusSlave&) = delete;

  // Before start().
  void setRegister(int function, int reg, std::uint16_t value);
  bool start();

  std::vector<Request> requests() const;
  // How many requests were answered so far, without copying them.
  std::size_t answered() const;

 private:
  void serve();

  modbus_t* ctx_ = nullptr;
  modbus_mapping_t* map_ = nullptr;
  bool realTime_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
};

}  // namespace vantor::test
