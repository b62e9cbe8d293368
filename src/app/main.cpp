#include "main/frmMain.h"
#include "platform/Dialogs.h"
#include "settings/modINI.h"
#include "shared/modVar.h"

#include <QApplication>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vantor"));
  QApplication::setApplicationDisplayName(QStringLiteral("Vantor"));

  vantor::modVar vars;
  vantor::modINI ini;
  vantor::MessageBoxDialogs dialogs;
  vantor::frmMain main(vars, ini, dialogs);
  main.show();
  return app.exec();
}
