// setup's message boxes as Qt shows them.
#pragma once

#include "setup/config/message_box.h"

// Shows the box modally and returns the button pressed; closing a question
// without pressing a button answers No. Works also before the program's
// QApplication exists (the start-up refusals come before any window).
MessageAnswer ShowQtMessageBox(const MessageBoxRequest& request);
