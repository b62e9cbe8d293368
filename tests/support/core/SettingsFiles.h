#pragma once

// Settings-file chores shared by the tests of the settings store and of what is kept in it.

#include "core/settings/IniFile.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#include <csignal>
#endif

namespace vantor::test {

// The file's bytes as they are on disk; empty when it cannot be read.
inline QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Puts `bytes` in the file as a hand edit would.
inline bool writeFileBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Stores one key; a refused write fails the running test, naming the store's reason.
inline void writeKey(IniFile& ini, const QString& section, const QString& key,
                     const QString& value) {
  QString error;
  QVERIFY2(ini.write(section, key, value, &error), qPrintable(error));
}

// A settings folder inside `dir` that cannot be made, not even by root: its parent is a regular
// file.
inline QString unmakeableFolder(const QString& dir) {
  writeFileBytes(dir + QStringLiteral("/blocker"), "not a folder");
  return dir + QStringLiteral("/blocker/settings");
}

#ifndef Q_OS_WIN
// Lowers the file size limit while it lives, so that a write runs out of room part way
// through; root is held to it too.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit lowered = old_;
    lowered.rlim_cur = bytes;
    active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool active() const { return active_; }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
  bool active_ = false;
};
#endif

}  // namespace vantor::test
