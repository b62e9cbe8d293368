#include "core/io/RegularFile.h"

#include "core/io/NativeFile.h"

#include <algorithm>

namespace vantor {

namespace {

QString kindRefusal(FileKind kind) {
  switch (kind) {
    case FileKind::Regular:
      break;
    case FileKind::Folder:
      return QStringLiteral("it is a folder, not a file");
    case FileKind::Pipe:
      return QStringLiteral("it is a named pipe, not a regular file");
    case FileKind::Device:
      return QStringLiteral("it is a device, not a regular file");
    case FileKind::Other:
      return QStringLiteral("it is not a regular file");
  }
  return {};
}

QString sizeText(qint64 bytes) {
  constexpr qint64 kKilo = 1024;
  if (bytes % (kKilo * kKilo) == 0) return QStringLiteral("%1 MB").arg(bytes / (kKilo * kKilo));
  if (bytes % kKilo == 0) return QStringLiteral("%1 KB").arg(bytes / kKilo);
  return QStringLiteral("%1 bytes").arg(bytes);
}

void refuseSize(RegularFileRead& read, qint64 maxSize) {
  read.tooLarge = true;
  read.reason = QStringLiteral("it is larger than %1").arg(sizeText(maxSize));
}

// Whether what `status` describes may be read; the refusal in `read` when not.
bool admits(const FileStatus& status, qint64 maxSize, RegularFileRead& read) {
  if (!status.error.isEmpty()) {
    read.absent = status.absent;
    read.reason = status.error;
  } else if (status.kind != FileKind::Regular) {
    read.reason = kindRefusal(status.kind);
  } else if (status.size > maxSize) {
    refuseSize(read, maxSize);
  }
  return read.reason.isEmpty();
}

}  // namespace

RegularFileRead checkRegularFile(const QString& path, qint64 maxSize) {
  RegularFileRead read;
  admits(NativeFile::statusOf(path), maxSize, read);
  return read;
}

RegularFileRead readRegularFile(const QString& path, qint64 maxSize) {
  RegularFileRead read;
  NativeFile file(path);
  if (!admits(file.status(), maxSize, read)) return read;
  // The size looked at is no promise (a file under /proc says 0, another program may be
  // writing): the reads themselves stop one byte past the limit.
  QByteArray bytes;
  char buffer[16384];
  for (;;) {
    const qint64 room = std::min<qint64>(qint64(sizeof buffer), maxSize + 1 - bytes.size());
    const qint64 n = file.read(buffer, room, &read.reason);
    if (n < 0) return read;
    if (n == 0) break;
    bytes.append(buffer, n);
    if (bytes.size() > maxSize) {
      refuseSize(read, maxSize);
      return read;
    }
  }
  read.bytes = std::move(bytes);
  return read;
}

}  // namespace vantor
