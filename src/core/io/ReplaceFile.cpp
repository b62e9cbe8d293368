#include "core/io/ReplaceFile.h"

#include "core/io/NativeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace vantor {

namespace {

// How the temporary copies of the file `info` names begin.
QString temporaryPrefix(const QFileInfo& info) {
  return info.fileName() + QStringLiteral(".tmp-");
}

}  // namespace

QString linkTarget(const QString& path) {
  QString at = path;
  for (int hop = 0; hop < NativeFile::kMaxLinkHops; ++hop) {
    const std::optional<QString> next = NativeFile::linkedTo(at);
    if (!next) return at;
    if (next->isEmpty()) return path;
    at = *next;
  }
  return path;
}

unsigned currentUmask() {
  return NativeFile::umask();
}

bool replaceFile(const QString& path, const QByteArray& bytes, QString* error) {
  // Renaming over a link would put a plain file in its place: the link's target is replaced
  // instead, from beside it, since a rename cannot cross file systems.
  const QFileInfo target(linkTarget(path));
  QString reason;
  if (NativeFile::replace(target.absoluteFilePath(),
                          target.absoluteDir().filePath(temporaryPrefix(target)), bytes, &reason))
    return true;
  if (error) *error = reason;
  return false;
}

void removeLeftovers(const QString& path, qint64 beforeMs) {
  const QFileInfo info(linkTarget(path));
  QDir folder = info.absoluteDir();
  const QFileInfoList leftovers = folder.entryInfoList({temporaryPrefix(info) + u'*'},
                                                       QDir::Files | QDir::Hidden | QDir::System);
  for (const QFileInfo& leftover : leftovers)
    if (leftover.lastModified().toMSecsSinceEpoch() < beforeMs) folder.remove(leftover.fileName());
}

}  // namespace vantor
