#pragma once

#include <QString>

namespace vantor {

// The settings store: single keys of "modlcd.ini", read and written one at a time straight
// from and to the file. Nothing is cached, so what one window writes the next read sees.
class IniFile {
 public:
  static constexpr const char* kFileName = "modlcd.ini";
  static constexpr int kMaxValueLength = 254;

  // Uses the file in `folder`; an empty folder means the program's own folder, or the user's
  // configuration folder where the program's folder cannot be written (the application
  // object must exist by then).
  explicit IniFile(QString folder = {});

  // A store on the settings file at `filePath`, whatever its name (command-line use).
  static IniFile forFile(const QString& filePath);

  // Full path of the settings file, worked out afresh on every call.
  QString filePath() const;

  // Value of `key` in `section`; empty when the file, section or key is absent. Names match
  // without regard to case; at most kMaxValueLength characters come back.
  QString read(const QString& section, const QString& key) const;

  // Stores `value` under `key` in `section`, creating file, section and key as needed and
  // replacing the file atomically. On failure returns false and, if `error` is given, puts a
  // sentence there saying what went wrong; the file is then left as it was.
  bool write(const QString& section, const QString& key, const QString& value,
                QString* error = nullptr);

 private:
  QString folder_;
  QString fileName_ = QLatin1String(kFileName);
};

// Folder that holds "modlcd.ini" for a program in `programFolder`: that folder when it can be
// written, otherwise `fallbackFolder` (the user's configuration folder).
QString settingsFolderFor(const QString& programFolder, const QString& fallbackFolder);

}  // namespace vantor
