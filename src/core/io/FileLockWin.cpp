#include "core/io/FileLock.h"

#include "core/io/SystemError.h"

#include <QDir>

#include <string>
#include <thread>

#include <windows.h>

namespace vantor {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The lock is on the first byte of the lock file; waiters queue up on the second.
constexpr DWORD kLockByte = 0;
constexpr DWORD kQueueByte = 1;

std::wstring nativeName(const QString& path) {
  return QDir::toNativeSeparators(path).toStdWString();
}

HANDLE nativeHandle(qintptr handle) {
  return reinterpret_cast<HANDLE>(handle);
}

DWORD flagsOf(FileLock::Kind kind) {
  return kind == FileLock::Kind::Shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK;
}

// The lock file, for reading and writing, or for reading alone when it may not be written
// (another user's). A link is opened as itself, never followed. When even that fails,
// `firstError` tells why it could not be opened for writing.
HANDLE openLockFile(const std::wstring& path, DWORD disposition, DWORD* firstError = nullptr) {
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    if (firstError) *firstError = ERROR_ACCESS_DENIED;
    handle = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, flags,
                           nullptr);
  }
  return handle;
}

// Takes one byte of the lock file at once or not at all: 0, or the reason
// (ERROR_LOCK_VIOLATION while someone else holds it).
DWORD tryLockByte(HANDLE handle, DWORD offset, DWORD flags) {
  OVERLAPPED range{};
  range.Offset = offset;
  return ::LockFileEx(handle, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)
             ? 0
             : ::GetLastError();
}

void unlockByte(HANDLE handle, DWORD offset) {
  OVERLAPPED range{};
  range.Offset = offset;
  ::UnlockFileEx(handle, 0, 1, 0, &range);
}

// Waiters queue up: each holds a shared lock on the second byte of the lock file while it
// waits, and the system hands the lock to blocked waiters in turn. A program that finds anyone
// queued does not take the lock while it happens to be free between two turns of another
// saver, but queues up too: otherwise a program saving again and again would keep the lock
// from a waiter for ever.
bool othersQueued(HANDLE handle) {
  if (tryLockByte(handle, kQueueByte, LOCKFILE_EXCLUSIVE_LOCK) != 0) return true;
  unlockByte(handle, kQueueByte);
  return false;
}

}  // namespace

FileLock::OpenFailure FileLock::openFile(const QString& path) {
  DWORD firstError = 0;
  HANDLE handle = openLockFile(nativeName(path), OPEN_ALWAYS, &firstError);
  DWORD failure = handle == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool link = handle != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(handle, &info) &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  if (handle != INVALID_HANDLE_VALUE && !link && ::GetFileType(handle) == FILE_TYPE_DISK &&
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    handle_ = reinterpret_cast<qintptr>(handle);
    return {};
  }
  if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  if (link) return {OpenFailure::Link, {}, {}};
  // Nothing to read either: the file is not there and its folder may not be written.
  if (firstError != 0 && (failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND))
    return {OpenFailure::FolderReadOnly, windowsError(firstError), {}};
  // A folder cannot be opened as a file at all, which Windows calls a denied access.
  const DWORD attributes = ::GetFileAttributesW(nativeName(path).c_str());
  if (failure == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY))
    failure = 0;
  if (failure == 0) return {OpenFailure::NotRegular, {}, {}};
  if (failure == ERROR_ACCESS_DENIED) return {OpenFailure::Denied, windowsError(failure), {}};
  return {OpenFailure::Other, windowsError(failure), {}};
}

void FileLock::release() {
  // Closing drops the lock too, but only once the system gets round to it: let go now.
  if (locked()) unlockByte(nativeHandle(handle_), kLockByte);
  ::CloseHandle(nativeHandle(handle_));
}

FileLock::Attempt FileLock::tryLock(Kind kind, QString* failure) {
  if (othersQueued(nativeHandle(handle_))) return Attempt::Busy;
  const DWORD error = tryLockByte(nativeHandle(handle_), kLockByte, flagsOf(kind));
  if (error == 0) return Attempt::Taken;
  if (error == ERROR_LOCK_VIOLATION) return Attempt::Busy;
  *failure = windowsError(error);
  return Attempt::Failed;
}

// The waiter blocks in the system on a handle of its own to the lock file: the system hands
// the lock to a blocked waiter the moment the holder lets go. Once it has the lock, its handle
// becomes the lock's (see adopt()).
std::shared_ptr<FileLock::Waiter> FileLock::startWaiter(const QString& path, Kind kind,
                                                        QString* failure) {
  queued_ = tryLockByte(nativeHandle(handle_), kQueueByte, 0) == 0;
  HANDLE handle = openLockFile(nativeName(path), OPEN_EXISTING);
  if (handle == INVALID_HANDLE_VALUE) {
    *failure = windowsError(::GetLastError());
    return nullptr;
  }
  auto waiter = std::make_shared<Waiter>();
  std::thread([waiter, handle, flags = flagsOf(kind)] {
    OVERLAPPED range{};
    range.Offset = kLockByte;
    const DWORD result = ::LockFileEx(handle, flags, 0, 1, 0, &range) ? 0 : ::GetLastError();
    const std::lock_guard lock(waiter->mutex);
    if (result == 0 && !waiter->abandoned) {
      waiter->handle = reinterpret_cast<qintptr>(handle);
    } else {
      if (result == 0) unlockByte(handle, kLockByte);
      ::CloseHandle(handle);
    }
    if (result != 0) waiter->failure = windowsError(result);
    waiter->finished = true;
    waiter->done.notify_one();
  }).detach();
  return waiter;
}

void FileLock::endWait() {
  if (queued_) unlockByte(nativeHandle(handle_), kQueueByte);
  queued_ = false;
}

void FileLock::adopt(Waiter& waiter) {
  ::CloseHandle(nativeHandle(handle_));
  handle_ = waiter.handle;
}

}  // namespace vantor
