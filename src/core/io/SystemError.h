#pragma once

// What the system says of an error number, in the user's language.

#include <QString>

#include <cstring>

namespace vantor {

inline QString systemError(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace vantor
