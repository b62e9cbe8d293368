#include "core/io/SystemError.h"

#include <windows.h>

namespace vantor {

QString windowsError(unsigned long code) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  QString message = n > 0 ? QString::fromWCharArray(text, int(n)).trimmed() : QString();
  if (text) ::LocalFree(text);
  if (message.endsWith(u'.')) message.chop(1);
  if (message.isEmpty()) message = QStringLiteral("system error %1").arg(code);
  return message;
}

}  // namespace vantor
