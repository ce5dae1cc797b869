#pragma once

// The desktop window of the program: Form1 and what starts it.

#include "ui/form1.h"

namespace ostrivane {

// Creates the application and the window, runs start-up before the window is
// first shown, shows it and runs the event loop; returns the exit status.
int runWindow(int argc, char** argv);

}  // namespace ostrivane
