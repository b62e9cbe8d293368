#pragma once

#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <cstdint>
#include <future>
#include <optional>
#include <vector>

typedef struct _modbus modbus_t;

namespace vantor::test {

// A real Modbus RTU master (libmodbus) on the far end of a pseudo-terminal. Its calls block, so
// run them through serve() while the program under test answers on this thread.
class ModbusMaster {
 public:
  explicit ModbusMaster(int fd, int timeoutMs = 500);
  ~ModbusMaster();
  ModbusMaster(const ModbusMaster&) = delete;
  ModbusMaster& operator=(const ModbusMaster&) = delete;

  // Reads `count` registers with function code 03 or 04; nothing when no valid answer came.
  std::optional<std::vector<std::uint16_t>> read(int function, int slave, int start, int count);
  QString lastError() const { return error_; }

 private:
  modbus_t* ctx_ = nullptr;
  QString error_;
};

// Runs `work` on another thread and keeps this thread's events flowing until it is done.
template <typename F>
auto serve(F&& work) {
  auto future = std::async(std::launch::async, std::forward<F>(work));
  while (future.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  return future.get();
}

}  // namespace vantor::test
