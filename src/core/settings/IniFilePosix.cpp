#include "core/settings/IniFile.h"

#include <QStandardPaths>

namespace vantor {

QString userSettingsFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

bool isSystemProgramFolder(const QString& programFolder) {
  for (const char* system : {"/usr/", "/bin/", "/sbin/"})
    if ((programFolder + u'/').startsWith(QLatin1String(system))) return true;
  return false;
}

}  // namespace vantor
