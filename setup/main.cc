// setup: the windowed editor of the configuration in the working directory.
#include "platform/platform.h"
#include "setup/ui/message_box_qt.h"
#include "setup/ui/setup_main.h"

int main(int argc, char** argv) {
  SetMessageBoxHandler(ShowQtMessageBox);
  return RunSetup(argc, argv, platform::DefaultEnv());
}
