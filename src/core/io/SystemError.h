#pragma once

// What the system says of an error number, in the user's language.

#include <QString>

#include <cstring>

namespace vantor {

inline QString systemError(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

#ifdef Q_OS_WIN
// What Windows says of an error code (GetLastError()), in the user's language, without the
// full stop and line end its messages come with.
QString windowsError(unsigned long code);
#endif

}  // namespace vantor
