#include "core/settings/IniFile.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vantor"));
  QApplication::setApplicationDisplayName(QStringLiteral("Vantor"));

  vantor::IniFile ini;
  vantor::MessageBoxDialogs dialogs;
  vantor::MainWindow main(ini, dialogs);
  main.show();
  return app.exec();
}
