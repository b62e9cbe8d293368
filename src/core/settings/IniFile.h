#pragma once

// The settings file "modlcd.ini": sections of key=value lines, names matched without regard
// to case. Reading takes the whole file at once under a shared lock; a save changes any number
// of keys and replaces the file in one rename under an exclusive lock, so that programs sharing
// the file take turns and a crash leaves the old file or the new one, never a mix. Lines the
// program does not own (comments, blank lines, unknown sections and keys, line ends, bytes
// that are not UTF-8) are kept byte for byte.

#include "core/io/FileLock.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <span>

namespace vantor {

// One key to store.
struct IniEntry {
  QString section;
  QString key;
  QString value;
};

// The line a save writes for `entry`: its key, "=", and its value, in quotes where reading
// would strip something of it (see IniFile::save).
QByteArray entryLine(const IniEntry& entry);

// The file as one read found it.
class IniSnapshot {
 public:
  // Value of `key` in `section`; empty when absent. At most kMaxValueLength characters.
  QString value(const QString& section, const QString& key) const;
  bool has(const QString& section, const QString& key) const;
  // Whether the file has a header for `section`.
  bool hasSection(const QString& section) const;

  // No such file: first use.
  bool absent() const { return absent_; }
  // Why the file could not be read (a sentence naming the file); empty when it could, or when
  // it is absent.
  const QString& error() const { return error_; }

 private:
  friend class IniFile;
  QByteArray bytes_;
  bool absent_ = false;
  QString error_;
};

class IniFile {
 public:
  static constexpr const char* kFileName = "modlcd.ini";
  static constexpr int kMaxValueLength = 254;
  // Anything larger is not a settings file.
  static constexpr qint64 kMaxFileSize = 1024 * 1024;

  // Uses the file in `folder`; an empty folder means the program's own folder, or the user's
  // configuration folder where the program's folder cannot be written (the application
  // object must exist by then). An absent file there means first use.
  explicit IniFile(QString folder = {});

  // A store on the settings file at `filePath`, whatever its name (command-line use). With
  // `mustExist`, an absent file is an error rather than first use.
  static IniFile forFile(const QString& filePath, bool mustExist = false);

  // Full path of the settings file.
  QString filePath() const;
  // Path of the lock file beside it (beside the file it leads to, when it is a symbolic link),
  // which every read and save takes and scripts editing the file can lock too; while a read or
  // save waits for a lock, the one it waits for. A read or save through a link takes the lock
  // beside the link first (see README.md, "Where the settings live").
  QString lockPath() const;
  // How waiting for another holder of that lock is borne: by default up to 10 s, silently.
  void setLockWait(LockWait wait) { lockWait_ = std::move(wait); }

  // Reads the whole file once.
  IniSnapshot snapshot() const;
  // One value, from a read of its own.
  QString read(const QString& section, const QString& key) const;

  // Stores `entries` in one replacement of the file, creating file, sections and keys as
  // needed. On failure returns false and, if `error` is given, puts a sentence there naming
  // the file and the reason; the file is then left as it was.
  bool save(std::span<const IniEntry> entries, QString* error = nullptr);
  bool write(const QString& section, const QString& key, const QString& value,
             QString* error = nullptr);

 private:
  class Locks;

  QString folder_;
  QString fileName_ = QLatin1String(kFileName);
  bool mustExist_ = false;
  LockWait lockWait_;
  mutable QString waitingFor_;  // the lock file a read or save waits for, while it waits
};

// Folder that holds "modlcd.ini" for a program in `programFolder`: that folder when it can be
// written, otherwise `fallbackFolder` (the user's configuration folder).
QString settingsFolderFor(const QString& programFolder, const QString& fallbackFolder);

// The system's side (IniFilePosix.cpp, IniFileWin.cpp). The user's own folder for the
// settings of this program: ~/.config/vantor, or %APPDATA%\vantor on Windows.
QString userSettingsFolder();
// Whether `programFolder` is where the system's installed programs live, whose settings belong
// in each user's own folder whoever runs them.
bool isSystemProgramFolder(const QString& programFolder);

}  // namespace vantor
