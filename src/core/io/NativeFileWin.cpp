#include "core/io/NativeFile.h"

#include "core/io/SystemError.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <string>

#include <windows.h>

namespace vantor {

namespace {

std::wstring nativeName(const QString& path) {
  return QDir::toNativeSeparators(path).toStdWString();
}

FileStatus failure(DWORD error) {
  FileStatus status;
  status.absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  status.error = windowsError(error);
  return status;
}

FileStatus statusFrom(DWORD attributes, DWORD sizeHigh, DWORD sizeLow) {
  FileStatus status;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    status.kind = FileKind::Folder;
  else if (attributes & FILE_ATTRIBUTE_DEVICE)
    status.kind = FileKind::Device;
  else
    status.kind = FileKind::Regular;
  status.size = (qint64(sizeHigh) << 32) | sizeLow;
  return status;
}

HANDLE nativeHandle(qintptr handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

FileStatus NativeFile::statusOf(const QString& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(nativeName(path).c_str(), GetFileExInfoStandard, &data))
    return failure(::GetLastError());
  return statusFrom(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow);
}

NativeFile::NativeFile(const QString& path) {
  // Shared every way, so that reading keeps no editor or replacement out; backup semantics
  // let a folder be opened too, to be refused for what it is.
  HANDLE file =
      ::CreateFileW(nativeName(path).c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    status_ = failure(::GetLastError());
    return;
  }
  handle_ = reinterpret_cast<qintptr>(file);
  // Anything but a file on a disk (a console, a printer port, a pipe) counts as a device.
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    status_.kind = FileKind::Device;
    return;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  status_ = ::GetFileInformationByHandle(file, &info)
                ? statusFrom(info.dwFileAttributes, info.nFileSizeHigh, info.nFileSizeLow)
                : failure(::GetLastError());
}

NativeFile::~NativeFile() {
  if (handle_ != -1) ::CloseHandle(nativeHandle(handle_));
}

qint64 NativeFile::read(char* into, qint64 size, QString* error) {
  DWORD n = 0;
  if (!::ReadFile(nativeHandle(handle_), into, DWORD(size), &n, nullptr)) {
    if (error) *error = windowsError(::GetLastError());
    return -1;
  }
  return qint64(n);
}

const int NativeFile::kMaxLinkHops = 63;  // where Windows gives up

std::optional<QString> NativeFile::linkedTo(const QString& path) {
  const QFileInfo info(path);
  if (!info.isSymLink()) return std::nullopt;
  return QDir::cleanPath(info.symLinkTarget());
}

unsigned NativeFile::umask() {
  // Windows has none: a new file's access comes from its folder.
  return 0;
}

bool NativeFile::replace(const QString& target, const QString& temporaryPrefix,
                         const QByteArray& bytes, QString* reason) {
  const std::wstring targetName = nativeName(QFileInfo(target).absoluteFilePath());
  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    const QString suffix =
        QString::number(QRandomGenerator::global()->generate(), 36).rightJustified(6, u'0');
    temporary = nativeName(temporaryPrefix + suffix);
    file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) {
      *reason = windowsError(::GetLastError());
      return false;
    }
  }
  if (file == INVALID_HANDLE_VALUE) {
    *reason = windowsError(ERROR_FILE_EXISTS);
    return false;
  }

  DWORD failure = 0;
  for (qsizetype done = 0; done < bytes.size() && !failure;) {
    const DWORD chunk = DWORD(std::min<qsizetype>(bytes.size() - done, 1 << 20));
    DWORD n = 0;
    if (!::WriteFile(file, bytes.constData() + done, chunk, &n, nullptr))
      failure = ::GetLastError();
    else if (n == 0)
      failure = ERROR_DISK_FULL;
    else
      done += n;
  }
  if (!failure && !::FlushFileBuffers(file)) failure = ::GetLastError();
  if (!::CloseHandle(file) && !failure) failure = ::GetLastError();
  if (!failure && !::MoveFileExW(temporary.c_str(), targetName.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    failure = ::GetLastError();
  if (failure) {
    ::DeleteFileW(temporary.c_str());
    *reason = windowsError(failure);
    return false;
  }
  return true;
}

}  // namespace vantor
