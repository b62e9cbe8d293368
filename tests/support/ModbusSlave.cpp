#include "ModbusSlave.h"

#include <modbus.h>
#include <pthread.h>
#include <sched.h>

#include <chrono>

namespace vantor::test {

namespace {

std::int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

ModbusSlave::ModbusSlave(int fd, int address, bool realTime) : realTime_(realTime) {
  // On a pty the descriptor is used as it is; the device name and settings only matter to a
  // real port.
  ctx_ = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
  map_ = modbus_mapping_new(0, 0, 256, 256);
  if (!ctx_ || !map_) return;
  modbus_set_socket(ctx_, fd);
  modbus_set_slave(ctx_, address);
  // Waits for a request no longer than this, so that the thread sees when to stop.
  modbus_set_indication_timeout(ctx_, 0, 50000);
}

ModbusSlave::~ModbusSlave() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (map_) modbus_mapping_free(map_);
  if (ctx_) modbus_free(ctx_);  // the descriptor belongs to the pty pair
}

void ModbusSlave::setRegister(int function, int reg, std::uint16_t value) {
  (function == 3 ? map_->tab_registers : map_->tab_input_registers)[reg] = value;
}

bool ModbusSlave::start() {
  if (!ctx_ || !map_) return false;
  thread_ = std::thread([this] { serve(); });
  return true;
}

void ModbusSlave::serve() {
  if (realTime_) {
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 1;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  }
  std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
  while (!stop_) {
    const int n = modbus_receive(ctx_, query);
    if (n <= 0) continue;
    Request r{QByteArray(reinterpret_cast<const char*>(query), n), nowNs(), 0};
    modbus_reply(ctx_, query, n, map_);
    r.repliedNs = nowNs();
    const std::lock_guard lock(mutex_);
    requests_.push_back(std::move(r));
  }
}

std::vector<ModbusSlave::Request> ModbusSlave::requests() const {
  const std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t ModbusSlave::answered() const {
  const std::lock_guard lock(mutex_);
  return requests_.size();
}

}  // namespace vantor::test
