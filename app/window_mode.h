#pragma once

// `ostrivane` with no argument: the window, loaded from its module.

namespace ostrivane {

// Whether this build can open the window at all.
bool buildHasWindow();

// Opens the window and returns its exit status; 3 without a display, without
// the window module, or in a build without a window (the usage goes to
// standard error then).
int runWindowMode(int argc, char* argv[]);

}  // namespace ostrivane
