#pragma once

// The desktop window of the program: MainWindow and what starts it.

#include "ui/main_window.h"

namespace ostrivane {

// Creates the application and the window, runs start-up before the window is
// first shown, shows it and runs the event loop; returns the exit status.
int runWindow(int argc, char** argv);

// After the event loop: says on standard error when a close that asked nobody
// could not save the list (status 1 then), and ends the process at once when
// TXT questions are still out, rather than wait for the resolver to give up
// on each of them. Returns the exit status otherwise.
int endWindowSession(const MainWindow& form, int status);

}  // namespace ostrivane
