#include "setup/ui/setup_main.h"

#include <QApplication>
#include <QtGlobal>
#include <exception>

#include "setup/config/message_box.h"
#include "setup/config/setup_config.h"
#include "setup/ui/main_form.h"
#include "setup/ui/setup_windows.h"

namespace {

// Qt calls its message handler without any context of ours: what the
// handler needs waits here while RunSetup runs.
struct QtMessageHook {
  QtMessageHandler previous = nullptr;
  platform::Env* env = nullptr;
};
QtMessageHook g_qt_messages;

// Qt ends the process after a fatal message: no display to connect to (a
// start from cron or over ssh), a lost X connection. pelix.bsy would then
// stay and keep pelix from running until the sysop removed it by hand.
void GiveBackFlagOnFatal(QtMsgType type, const QMessageLogContext& context,
                         const QString& text) {
  if (type == QtFatalMsg && SetupState().busy_flag_held && g_qt_messages.env)
    ReleaseSetupBusyFlag(*g_qt_messages.env);
  g_qt_messages.previous(type, context, text);
}

}  // namespace

int RunSetup(int argc, char** argv, platform::Env& env) {
  g_qt_messages.env = &env;
  g_qt_messages.previous = qInstallMessageHandler(GiveBackFlagOnFatal);
  LoadConfiguration(env);
  QApplication app(argc, argv);
  return RunSetupWindows(env);
}

int RunSetupWindows(platform::Env& env) {
  try {
    CreateSetupWindows(env);
    CentreOnScreen(Windows().main_form);
    Windows().main_form->show();
    QApplication::exec();
  } catch (const std::exception& error) {
    ShowMessageBox(error.what(), "Error", MessageButtons::kOk, MessageIcon::kNone);
    // Without a main window nobody else gives the flag back.
    if (!Windows().main_form) ReleaseSetupBusyFlag(env);
  }
  DestroySetupWindows();
  return 0;
}
