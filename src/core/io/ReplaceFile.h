#pragma once

// Replacing a file in one step: the new contents go to a temporary file beside it, are
// flushed to disk and renamed over it, so that the file is the old one or the new one at every
// moment, whatever crashes, fills up or is killed on the way.

#include <QByteArray>
#include <QString>

namespace vantor {

// Replaces the file at `path` by `bytes`. A file that exists keeps its mode; a new one gets
// the mode the umask allows, as any editor would make it. False with the reason in `error` on
// failure; the file is then as it was, and no temporary file is left.
bool replaceFile(const QString& path, const QByteArray& bytes, QString* error);

// Removes the temporary files that replacements of `path` left behind when they were
// interrupted, of those last changed before `beforeMs` (milliseconds since the epoch): a
// replacement still writing its copy is left alone.
void removeLeftovers(const QString& path, qint64 beforeMs);

// The process's file-creation mask.
unsigned currentUmask();

}  // namespace vantor
