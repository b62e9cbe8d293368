#pragma once

// The system's side of reading and replacing files (RegularFile.h, ReplaceFile.h): what a name
// stands for, an opening for reading that never waits whatever is found there, a link's next
// hop, and a flushed write renamed into place. One implementation per system:
// NativeFilePosix.cpp, NativeFileWin.cpp.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace vantor {

enum class FileKind { Regular, Folder, Pipe, Device, Other };

struct FileStatus {
  bool absent = false;  // nothing by that name
  QString error;        // the system's words for why it could not be looked at (or is absent)
  FileKind kind = FileKind::Other;
  qint64 size = 0;  // what the system says; a device or a special file may give more
};

class NativeFile {
 public:
  // What `path` stands for, links followed, without opening it.
  static FileStatus statusOf(const QString& path);
  // Where the symbolic link at `path` leads, as a path the program can open; nothing when
  // `path` is no link, and an empty path for a link that cannot be read.
  static std::optional<QString> linkedTo(const QString& path);
  // As many links in a row as the system itself follows before it gives up.
  static const int kMaxLinkHops;
  // Writes `bytes` to a new file named `temporaryPrefix` and a few characters more, flushes it
  // to disk and renames it over `target`, whose mode it keeps where the system has modes (a
  // new target gets what the umask allows); the system's words in `reason` when any of it
  // fails, and then no new file is left.
  static bool replace(const QString& target, const QString& temporaryPrefix,
                      const QByteArray& bytes, QString* reason);
  // The process's file-creation mask (0 where the system has none).
  static unsigned umask();

  // Opens `path` for reading, sharing it with every other reader and writer, without waiting
  // for a writer to a pipe and without taking a terminal over; status() then tells what was
  // opened.
  explicit NativeFile(const QString& path);
  ~NativeFile();
  NativeFile(const NativeFile&) = delete;
  NativeFile& operator=(const NativeFile&) = delete;

  // Of the opened file itself, not of whatever the name stands for by now.
  const FileStatus& status() const { return status_; }
  // Up to `size` bytes: how many, 0 at the end, -1 with the system's words in `error`.
  qint64 read(char* into, qint64 size, QString* error);

 private:
  FileStatus status_;
  qintptr handle_ = -1;  // a descriptor; on Windows a HANDLE
};

}  // namespace vantor
