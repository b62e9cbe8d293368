#include "core/settings/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace vantor {

QString userSettingsFolder() {
  // %APPDATA%\vantor: the user's roaming settings, where Windows programs keep theirs.
  const QString appData = qEnvironmentVariable("APPDATA");
  if (appData.isEmpty()) return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  return QDir::fromNativeSeparators(appData) + u'/' + QCoreApplication::applicationName();
}

// Program Files, whichever of its names the system gives.
bool isSystemProgramFolder(const QString& programFolder) {
  for (const char* variable : {"ProgramFiles", "ProgramW6432", "ProgramFiles(x86)"}) {
    const QString system = QDir::fromNativeSeparators(qEnvironmentVariable(variable));
    if (!system.isEmpty() && (programFolder + u'/').startsWith(system + u'/', Qt::CaseInsensitive))
      return true;
  }
  return false;
}

}  // namespace vantor
