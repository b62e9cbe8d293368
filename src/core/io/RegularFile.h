#pragma once

// Reading a file that must be a regular file of bounded size (the settings file, a bench
// scenario): a folder, a named pipe or a device is refused at once and never waited on, and no
// read goes past the limit, whatever the system says of the size.

#include <QByteArray>
#include <QString>

namespace vantor {

struct RegularFileRead {
  QByteArray bytes;       // the whole file; empty unless it was read
  bool absent = false;    // there is nothing by that name
  bool tooLarge = false;  // it is larger than the limit
  // Why it was not read, to follow "could not be read: " ("it is a folder, not a file", "it
  // is larger than 1 MB", or the system's words); empty when it was.
  QString reason;
};

// What a look at `path` without opening it says: whether anything is there, and why it is no
// regular file of at most `maxSize` bytes. No bytes are read.
RegularFileRead checkRegularFile(const QString& path, qint64 maxSize);

// The whole of the regular file at `path`, judged by what was opened rather than by a look
// before: at most `maxSize` bytes, of which no more than one past the limit are read.
RegularFileRead readRegularFile(const QString& path, qint64 maxSize);

}  // namespace vantor
