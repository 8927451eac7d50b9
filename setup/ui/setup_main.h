// The program's entry: load the configuration, create the windows, run until
// the main window closes.
#pragma once

namespace platform {
class Env;
}

// Loads the configuration (which may end the process with its exit code),
// starts Qt and runs the windows. Returns 0.
int RunSetup(int argc, char** argv, platform::Env& env);

// The windowed part alone, for a QApplication that already exists: creates
// every window, shows the main window, runs the event loop until it closes
// and destroys the windows (which asks "Save changes ?"). Returns 0.
int RunSetupWindows(platform::Env& env);
