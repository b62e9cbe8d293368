#include "ModbusMaster.h"

#include <modbus.h>

#include <cerrno>

namespace vantor::test {

ModbusMaster::ModbusMaster(int fd, int timeoutMs) {
  // The line settings only matter to a real device; on a pty the descriptor is used as it is.
  ctx_ = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
  if (!ctx_) return;
  modbus_set_socket(ctx_, fd);
  modbus_set_response_timeout(ctx_, 0, std::uint32_t(timeoutMs) * 1000);
}

ModbusMaster::~ModbusMaster() {
  // The descriptor belongs to the pty pair; only the context is ours.
  if (ctx_) modbus_free(ctx_);
}

std::optional<std::vector<std::uint16_t>> ModbusMaster::read(int function, int slave, int start,
                                                             int count) {
  std::vector<std::uint16_t> values(std::size_t(count), 0);
  const int n = !ctx_ || modbus_set_slave(ctx_, slave) != 0 ? -1
                : function == 3 ? modbus_read_registers(ctx_, start, count, values.data())
                                : modbus_read_input_registers(ctx_, start, count, values.data());
  if (n == count) return values;
  error_ = ctx_ ? QString::fromLocal8Bit(modbus_strerror(errno)) : QStringLiteral("no context");
  return std::nullopt;
}

}  // namespace vantor::test
