#include "setup/ui/setup_main.h"

#include <QApplication>
#include <exception>

#include "setup/config/message_box.h"
#include "setup/config/setup_config.h"
#include "setup/ui/main_form.h"
#include "setup/ui/setup_windows.h"

int RunSetup(int argc, char** argv) {
  LoadConfiguration();
  QApplication app(argc, argv);
  return RunSetupWindows();
}

int RunSetupWindows() {
  try {
    CreateSetupWindows();
    CentreOnScreen(Windows().main_form);
    Windows().main_form->show();
    QApplication::exec();
  } catch (const std::exception& error) {
    ShowMessageBox(error.what(), "Error", MessageButtons::kOk, MessageIcon::kNone);
    // Without a main window nobody else gives the flag back.
    if (!Windows().main_form) ReleaseSetupBusyFlag();
  }
  DestroySetupWindows();
  return 0;
}
