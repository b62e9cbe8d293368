#pragma once

// Replacing a file in one step: the new contents go to a temporary file beside it, are
// flushed to disk and renamed over it, so that the file is the old one or the new one at every
// moment, whatever crashes, fills up or is killed on the way.

#include <QByteArray>
#include <QString>

namespace vantor {

// Replaces the file at `path` by `bytes`. A file that exists keeps its mode; a new one gets
// the mode the umask allows, as any editor would make it. A `path` that is a symbolic link
// stays one: the file it leads to is replaced, in that file's folder (a dangling link's
// target is created). False with the reason in `error` on failure; the file is then as it
// was, and no temporary file is left.
bool replaceFile(const QString& path, const QByteArray& bytes, QString* error);

// The file that `path` names once every symbolic link in its last part is followed, link by
// link: `path` itself when it is no link, the missing file a dangling link leads to, and
// `path` again when the links go round in a circle (opening it then says so).
QString linkTarget(const QString& path);

// Removes the temporary files that replacements of `path` left behind when they were
// interrupted (beside the file a link leads to), of those last changed before `beforeMs`
// (milliseconds since the epoch): a replacement still writing its copy is left alone.
void removeLeftovers(const QString& path, qint64 beforeMs);

// The process's file-creation mask.
unsigned currentUmask();

}  // namespace vantor
